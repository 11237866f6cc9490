// What a database file looked like when its messages were read: the size and
// modification time of the file and of its write-ahead log. A write to the
// database changes one of them, so an unchanged stamp means that there is
// nothing new to read.
#pragma once

#include <QString>

class DbFileStamp
{
public:
    // The stamp of the database at `path` now; invalid when the file cannot
    // be examined (or the path is empty).
    static DbFileStamp of(const QString& path);

    bool isValid() const { return m_file.size >= 0; }
    // Two valid stamps of the same file, unchanged in between.
    bool sameAs(const DbFileStamp& other) const;

private:
    struct Part
    {
        qint64 size = -1; // -1: no such file
        qint64 modified = -1; // nanoseconds since 1970
        bool operator==(const Part& other) const { return size == other.size && modified == other.modified; }
    };
    static Part partOf(const QString& path);

    QString m_path;
    Part m_file;
    Part m_log;
};
