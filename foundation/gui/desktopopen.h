// Opening links and folders with the desktop where the user asked for it:
// when no browser or file manager takes it, a box says so and gives the
// address or path as text the user can select and copy.
#pragma once

#include <QString>

// The link in the browser (http and https only, trimmed), else the box.
bool g_openLinkOrTell(const QString& link);
// The folder or file in the file manager, else the box.
bool g_openFolderOrTell(const QString& path);
