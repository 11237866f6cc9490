// Where the application keeps its data, and small file helpers every
// subsystem uses: safe file names, MD5 names, folder removal, opening with
// the desktop.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

class QUrl;

// The product identifier that names the data folder.
extern const char* const kProductId;

QDir g_osAppDir();
QString g_defaultSaveDirPath();
// The redirected root when the redirect file names an existing folder, else "".
QString g_dataSaveDirLink();
void g_setDataSaveDirLink(const QString& path);
// Fixes the data folder's path for the run. Start-up calls it before any
// worker thread exists; a later call keeps the path fixed first.
void g_settleDataSaveDir();
// The data folder (fixed by start-up, or else by the first call of a run;
// the fixing is guarded, so any thread may ask), created when missing.
// It and the folders below that these functions make are private (0700);
// a folder made wider by an earlier run is tightened when it is used.
QDir g_dataSaveDir();
// The data folder's subfolder `name`, created private when missing.
QDir g_dataSubDir(const QString& name);
QDir g_localDbDir();
// Removes the folder and everything in it; symbolic links are removed as links
// and never followed. True when nothing is left at the path.
bool g_delDirCascade(const QString& folder);
QString g_getValidFilePath(const QString& path);
// Hands the file or folder to the desktop; false when no opener took it.
bool g_openFileOrFolder(const QString& path);
// Opens only http and https links, read with surrounding white space
// trimmed (links from the network often end in a line break); false when
// the link is refused or no browser took it.
bool g_openLink(const QString& link);
// What hands a URL to the desktop (QDesktopServices unless replaced). Tests
// replace it to see a desktop that opens nothing; null restores the default.
using DesktopOpener = bool (*)(const QUrl&);
void g_setDesktopOpener(DesktopOpener opener);
QString g_formatFileName(const QString& name);
QString g_pathHash(const QString& text);
QString g_md5(const QString& text);
QString g_md5(const QByteArray& data, bool dashed);

// Forgets the data folder fixed for this run. Only tests call it, to start
// over with another HOME.
void g_resetDataSaveDirForTests();
