// The product's name and version: shown in message boxes and the about box,
// and sent to the maker's server with error reports and version checks.
#pragma once

#include <QString>
#include <QtGlobal>

// Passed through the translator in the context "QObject".
inline constexpr const char* kProductTitle = QT_TRANSLATE_NOOP("QObject", "Quillsprout Chatterquay for Mac");
inline constexpr const char* kVersionText = "2.14.32";
inline constexpr int kVersionNumber = 60;

// The translated product title.
QString g_productTitle();
