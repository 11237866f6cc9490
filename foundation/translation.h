// Installs the English texts behind the IDS_ keys (resource :/en.qm).
#pragma once

class QCoreApplication;

// True when the translation was found and installed.
bool installEnglishTranslation(QCoreApplication* app);
