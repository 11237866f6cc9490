// The formats an export writes, the one name for them from the save dialog's
// choice through the export worker to the writer. The numbers are the ones
// the export worker has always taken.
#pragma once

enum class ExportFormat : int {
    Text = 0, // one text file (the save dialog's text and Word types)
    Csv = 1,  // one CSV file
    Pdf = 2,  // a folder, one PDF file per conversation
    Html = 3, // a folder, one HTML page per conversation with its pictures
};
