// Where the application keeps its data, and small file helpers every
// subsystem uses: safe file names, MD5 names, folder removal, opening with
// the desktop.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

// The product identifier that names the data folder.
extern const char* const kProductId;

QDir g_osAppDir();
QString g_defaultSaveDirPath();
// The redirected root when the redirect file names an existing folder, else "".
QString g_dataSaveDirLink();
void g_setDataSaveDirLink(const QString& path);
// The data folder (fixed by the first call of a run), created when missing.
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
void g_openFileOrFolder(const QString& path);
// Opens only http and https links.
void g_openLink(const QString& link);
QString g_formatFileName(const QString& name);
QString g_pathHash(const QString& text);
QString g_md5(const QString& text);
QString g_md5(const QByteArray& data, bool dashed);

// Forgets the data folder fixed for this run. Only tests call it, to start
// over with another HOME.
void g_resetDataSaveDirForTests();
