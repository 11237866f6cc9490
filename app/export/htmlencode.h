// Text escaping shared by the conversation browser and the HTML export.
#pragma once

#include <QString>

// "&", "<" and ">" as entities, every line break (a line feed with or
// without a carriage return before it) as "<br/>"; everything else unchanged.
QString g_htmlEncode(const QString& text);
// The same, appended to `out`.
void g_htmlEncodeTo(QString& out, const QString& text);
