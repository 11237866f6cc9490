// Escaping of plain text for the HTML that the conversation browser and the
// HTML export build, so that no text read from a database acts as markup.
#pragma once

#include <QString>

// "&", "<" and ">" as entities (the ampersand first, so the entities made
// after it stay intact) and every line feed, with or without one carriage
// return before it, as "<br/>". Quotes pass unchanged.
QString g_htmlEncode(const QString& text);
