// Builds a backup's file tree from its index: the merged domains side by side
// at the root, application domains below a group folder, any other domain
// below a folder named like it.
#pragma once

#include "backupmanifest.h"

namespace BackupFileTree {

// Adds the nodes of every record of `items` below `backup.root` and records
// the well-known files among them. The nodes refer to the records of `items`,
// which must outlive the tree unchanged.
void build(BackupManifest& backup, const MBDBParser::Index& items);

} // namespace BackupFileTree
