// The usual file-name extension of a MIME type, from a fixed table.
#pragma once

#include <QString>

// The extension without the dot ("image/jpeg" gives "jpg"), or an empty text
// for a type not in the table. The type is compared whole and case-sensitive.
QString mimetype2ext(const QString& mime);
