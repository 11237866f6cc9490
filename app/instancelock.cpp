#include "instancelock.h"

#include <QLockFile>

#include "data_path_util.h"

QString g_instanceLockPath()
{
    return g_dataSaveDir().absoluteFilePath(QStringLiteral("instance.lock"));
}

std::unique_ptr<QLockFile> g_lockDataFolder()
{
    auto lock = std::make_unique<QLockFile>(g_instanceLockPath());
    // Staleness by the holder's process only: a first instance that has run
    // for days still holds its lock.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}
