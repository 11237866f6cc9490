// The date database of a backup-file cache ("manifest.db" in the cache
// folder): for each stored file copied out of a backup, the modification time
// of the index record it was copied from, so that a later load skips what
// has not changed. One transaction spans the object's life.
#pragma once

#include "sqlitedb.h"

#include <QDir>
#include <QString>

class BkCacheDb
{
public:
    explicit BkCacheDb(const QString& path);
    ~BkCacheDb();
    BkCacheDb(const BkCacheDb&) = delete;
    BkCacheDb& operator=(const BkCacheDb&) = delete;

    // Opens (or creates) the file on first use and begins the transaction.
    void openCheck();
    // The recorded date of a stored name; 0 when there is no row, which
    // `found` tells apart from a recorded date of 0.
    int fileDateSecs(const QString& storedName, bool* found = nullptr);
    void setFileDate(const QString& storedName, int seconds);
    void remove(const QString& storedName);
    // Drops the connection and the dates written since it opened.
    void close();

    static QDir cacheDir();

private:
    void create();

    QString m_path;
    Sqlite3DB m_db;
};
