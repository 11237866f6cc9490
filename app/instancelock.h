// One running instance per data folder. Two instances would attach the same
// phones and share the device-backup folder, and one's Clear Cache would
// delete the other's working files, so the second start is refused.
#pragma once

#include <QString>

#include <memory>

class QLockFile;

// The lock file inside the data folder.
QString g_instanceLockPath();
// The lock for this process, held until it is destroyed; null when a live
// process holds it already. A lock left by a process that no longer runs
// is taken over.
std::unique_ptr<QLockFile> g_lockDataFolder();
