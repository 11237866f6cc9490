// Recognises the well-known files of a backup (camera roll, message parts and
// attachments, recordings, voicemails, single databases) as the file tree is
// built, and records their nodes in the backup's lists, maps and slots.
#pragma once

#include "backupmanifest.h"

// Records the node where its record's own domain and path (passed decoded)
// say it belongs.
void g_classifyBackupFile(BackupManifest& backup, const BackupManifest::_FileNode* node, const QString& domain,
                          const QString& path);

// True for the domains whose files g_classifyBackupFile may record; the files
// of any other domain need not be passed to it.
bool g_classifiesDomain(const QString& domain);
