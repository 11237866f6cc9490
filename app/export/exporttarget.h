// Where an export goes and in which format, from the file name and the file
// type chosen in the save dialog: text (also for the Word-document type) and
// CSV into that file, with the type's extension added when the name has
// none; PDF and HTML into a folder named after the file's base name with
// "-pdf" or "-html" appended.
#pragma once

#include <QString>
#include <QStringList>

#include "exportformat.h"

struct ExportTarget
{
    ExportFormat format = ExportFormat::Text;
    QString path;

    // The save dialog's file types, in the order offered; fromChoice takes
    // the position of the one chosen.
    static QStringList fileTypeFilters();

    // Throws std::runtime_error "unknown export format." for a position
    // outside the offered types.
    static ExportTarget fromChoice(const QString& chosenFile, int fileType);
};
