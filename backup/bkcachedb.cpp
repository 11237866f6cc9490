#include "bkcachedb.h"

#include "data_path_util.h"

#include <QFile>
#include <QFileInfo>

#include <stdexcept>

BkCacheDb::BkCacheDb(const QString& path) : m_path(path)
{
}

BkCacheDb::~BkCacheDb()
{
    if (!m_db.isOpen())
        return;
    try {
        m_db.commitTran();
    } catch (const std::exception&) {
        // The dates are a cache: losing them costs a new copy, nothing more.
    }
    m_db.close();
}

void BkCacheDb::openCheck()
{
    if (m_db.isOpen())
        return;
    if (QFileInfo::exists(m_path))
        m_db.openThrow(m_path, Sqlite3DB::ReadWrite);
    else
        create();
    m_db.beginTran();
}

void BkCacheDb::create()
{
    m_db.createFromScriptFileThrow(m_path, QStringLiteral(":res/cache_db.sql"));
}

int BkCacheDb::fileDateSecs(const QString& storedName, bool* found)
{
    openCheck();
    Sqlite3Cursor row =
        m_db.queryThrow(Sqlite3Sql("select last_date from manifest where file_name=?").addTextParam(storedName));
    const bool hasRow = row.moveNext();
    if (found)
        *found = hasRow;
    return hasRow ? row.getInt(QStringLiteral("last_date")) : 0;
}

void BkCacheDb::setFileDate(const QString& storedName, int seconds)
{
    bool found = false;
    const int recorded = fileDateSecs(storedName, &found);
    if (!found)
        m_db.executeThrow(Sqlite3Sql("insert into manifest(file_name,last_date) values(?,?)")
                              .addTextParam(storedName)
                              .addIntParam(seconds));
    else if (recorded != seconds)
        m_db.executeThrow(Sqlite3Sql("update manifest set last_date=? where file_name=?")
                              .addIntParam(seconds)
                              .addTextParam(storedName));
}

void BkCacheDb::remove(const QString& storedName)
{
    openCheck();
    m_db.executeThrow(Sqlite3Sql("delete from manifest where file_name=?").addTextParam(storedName));
}

void BkCacheDb::close()
{
    m_db.close();
}

QDir BkCacheDb::cacheDir()
{
    return QDir(g_dataSaveDir().filePath(QStringLiteral("cache")));
}
