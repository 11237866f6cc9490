// Recognises the well-known files of a backup (camera roll, message parts and
// attachments, recordings, voicemails, single databases) as the file tree is
// built, and records their nodes in the backup's lists, maps and slots.
#pragma once

#include "backupmanifest.h"

#include <QByteArrayView>

// The domains whose files may be well known; domains are compared without
// regard to case.
enum class ClassifiedDomain { None, CameraRoll, Home, Media, Wireless };

ClassifiedDomain g_classifiedDomain(const QString& domain);

// Records the node where its record's own domain and path (valid UTF-8) say
// it belongs. Most paths are told apart by their bytes; a path with
// characters beyond ASCII is decoded and goes through
// g_classifyBackupFileText, since such characters may match letters of the
// patterns without regard to case.
void g_classifyBackupFile(BackupManifest& backup, const BackupManifest::_FileNode* node, ClassifiedDomain domain,
                          QByteArrayView path);

// The same for a decoded path, by the patterns as regular expressions.
void g_classifyBackupFileText(BackupManifest& backup, const BackupManifest::_FileNode* node,
                              ClassifiedDomain domain, const QString& path);
