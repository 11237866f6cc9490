#include "dbfilestamp.h"

#include <QFile>

#include <sys/stat.h>

DbFileStamp::Part DbFileStamp::partOf(const QString& path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return Part();
    return Part{qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

DbFileStamp DbFileStamp::of(const QString& path)
{
    DbFileStamp stamp;
    if (path.isEmpty())
        return stamp;
    stamp.m_path = path;
    stamp.m_file = partOf(path);
    stamp.m_log = partOf(path + QStringLiteral("-wal"));
    return stamp;
}

bool DbFileStamp::sameAs(const DbFileStamp& other) const
{
    return isValid() && other.isValid() && m_path == other.m_path && m_file == other.m_file && m_log == other.m_log;
}
