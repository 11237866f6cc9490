// Where an export goes and in which format, from the file name and the file
// type chosen in the save dialog: text (also for the Word-document type) and
// CSV into that file, with the type's extension added when the name has
// none; PDF and HTML into a folder named after the file's base name with
// "-pdf" or "-html" appended.
#pragma once

#include <QString>

struct ExportTarget
{
    // The save dialog's file types, in the order offered.
    enum FileType { TextFile = 0, DocFile = 1, CsvFile = 2, PdfFile = 3, HtmlFile = 4 };

    int format = 0; // MessageExporter::Format
    QString path;

    // Throws std::runtime_error "unknown export format." for a type outside
    // the five.
    static ExportTarget fromChoice(const QString& chosenFile, int fileType);
};
