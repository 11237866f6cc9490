// The application's style sheet, compiled in as the resource ":style.css"
// and applied by the main window, every dialog and every message box.
#pragma once

#include <QString>

// The style sheet text, read from the resource on the first successful call;
// empty (and tried again next time) when the resource cannot be opened.
QString getStyleSheet();
