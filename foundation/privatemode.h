// Folders and files that may hold messages, contacts or keys belong to the
// user alone, whatever the umask: folders 0700, files 0600.
#pragma once

#include <QFileDevice>
#include <QString>

// Owner read and write, nothing for group and others.
constexpr QFileDevice::Permissions kPrivateFilePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Creates the folder and every missing parent as 0700, and takes the group
// and other bits off the folder itself when it already exists with them.
// False when there is no folder at the path afterwards.
bool g_mkPrivatePath(const QString& path);

// Makes an open file 0600: a QFile, or the temporary file of a QSaveFile
// before its commit. False when the file system refuses.
bool g_makePrivate(QFileDevice& file);

// Makes the file at the path 0600 (not following a symbolic link). False when
// there is no such file or the file system refuses.
bool g_makePrivate(const QString& path);
