// Manifest.db, the tables and columns read:
//
//   Files(fileID, domain, relativePath, flags, file)
//     domain, relativePath   text; the stored name is computed from them, so
//                            fileID and flags are not read
//     file                   the MBFile archive as a binary property list, or
//                            the Base64 of its enciphered bytes
//   Properties(key, value)   only key 'salt' is read: the cipher's salt
//
// Written back: fileID the stored name, flags 1 file, 2 folder, 4 link.
#include "manifestdbfile.h"

#include "mbfile.h"
#include "sqlitedb.h"

#include <QFileInfo>

namespace {
// The key of the `file` column cipher, or empty when the column is plain.
QByteArray recordKey(Sqlite3DB& db, const QString& password)
{
    const QByteArray secret = password.toUtf8();
    if (secret.isEmpty())
        return QByteArray();
    Sqlite3Cursor table = db.queryThrow("select 1 from sqlite_master where type='table' and name='Properties'");
    if (!table.moveNext())
        return QByteArray();
    Sqlite3Cursor salt = db.queryThrow("select * from Properties where key='salt' limit 1");
    if (!salt.moveNext())
        return QByteArray();
    return MBDBParser::fileDescKey(secret, salt.getBlob(QStringLiteral("value")));
}
// About how many rows Files holds, to size the index once rather than
// rehashing a million records as it grows: the largest row id, which costs
// no scan; never more rows than the file could hold at 64 bytes each.
qsizetype expectedRows(Sqlite3DB& db, qint64 fileSize)
{
    qint64 largest = 0;
    try {
        Sqlite3Cursor c = db.queryThrow("select max(rowid) from Files");
        largest = c.moveNext() ? c.getInt64(0) : 0;
    } catch (const Sqlite3Error&) {
        // A table without row ids: the index grows as it goes.
    }
    return qsizetype(qBound<qint64>(0, largest, fileSize / 64));
}

// Only the columns read, in the order domain, relativePath, file: SQLite then
// leaves the others of each row alone. A column the table lacks reads as NULL,
// as an absent column reads.
QString readColumnsSql(Sqlite3DB& db)
{
    const Sqlite3Cursor probe = db.queryThrow("select * from Files limit 0");
    QStringList columns;
    for (const char* name : {"domain", "relativePath", "file"})
        columns << (probe.column(QLatin1String(name)) >= 0 ? QLatin1String(name) : QLatin1String("NULL"));
    return QStringLiteral("select %1 from Files").arg(columns.join(QLatin1String(", ")));
}

// A text column's bytes as UTF-8: as stored when they are valid UTF-8, else
// as decoding and encoding again makes them.
QByteArray utf8Text(QByteArrayView bytes)
{
    return bytes.isValidUtf8() ? bytes.toByteArray() : QString::fromUtf8(bytes).toUtf8();
}

int rowFlags(const MBDBParser::_MBDBItem& item)
{
    if (item.isFolder())
        return 2;
    return item.linkTarget.isValid() ? 4 : 1;
}

// The `file` column: the archive as a blob, or its enciphered Base64 as text.
void addFileParam(Sqlite3Sql& sql, const MBDBParser::_MBDBItem& item, const QByteArray& key)
{
    const QByteArray archive = MBFile::writeArchive(item);
    if (key.isEmpty())
        sql.addBlobParam(archive);
    else
        sql.addTextParam(QString::fromLatin1(MBDBParser::encryptFileDescThrow(archive, key).toBase64()));
}

void writeRow(Sqlite3DB& db, const MBDBParser::_MBDBItem& item, const QByteArray& key)
{
    const QString name = item.backupFileName();
    if (item.isRemoved) {
        db.executeThrow(Sqlite3Sql("delete from Files where fileID=?").addTextParam(name));
    } else if (item.isModified) {
        Sqlite3Sql sql("update Files set file=?,domain=?,relativePath=?,flags=? where fileID=?");
        addFileParam(sql, item, key);
        sql.addTextParam(item.domain.toString()).addTextParam(item.path.toString()).addIntParam(rowFlags(item));
        db.executeThrow(sql.addTextParam(name));
    } else if (item.isNew) {
        Sqlite3Sql sql("replace into Files(fileID,domain,relativePath,flags,file) values(?,?,?,?,?)");
        sql.addTextParam(name).addTextParam(item.domain.toString()).addTextParam(item.path.toString());
        sql.addIntParam(rowFlags(item));
        addFileParam(sql, item, key);
        db.executeThrow(sql);
    }
}
} // namespace

void g_updateManifestDbIndex(const QString& dbPath, const QString& password, const QList<MBDBParser::_MBDBItem>& items)
{
    Sqlite3DB db;
    db.openThrow(dbPath, Sqlite3DB::ReadWrite);
    const QByteArray key = recordKey(db, password);
    db.beginTran();
    for (const MBDBParser::_MBDBItem& item : items)
        writeRow(db, item, key);
    db.commitTran();
    db.close();
}

MBDBParser::Index g_readManifestDbIndex(const QString& dbPath, const QString& password)
{
    Sqlite3DB db;
    db.openThrow(dbPath, Sqlite3DB::ReadWrite);
    const QByteArray key = recordKey(db, password);
    MBDBParser::Index index;
    index.reserve(expectedRows(db, QFileInfo(dbPath).size()));
    Sqlite3Cursor rows = db.queryThrow(readColumnsSql(db));
    const int domainColumn = 0, pathColumn = 1, fileColumn = 2;
    QByteArray previousDomain;
    QByteArray path;
    while (rows.moveNext()) {
        const QByteArrayView domain = rows.getUtf8(domainColumn);
        if (domain.isEmpty())
            continue;
        // The record's texts are views of SQLite's copy of the row, which the
        // index copies as it enters them.
        MBDBParser::_MBDBItem item;
        // Domains repeat across thousands of rows: one copy of each, which
        // the record views rather than shares (sharing counts references
        // atomically, twice a record).
        if (domain != previousDomain)
            previousDomain = utf8Text(domain);
        item.domain.setVal(QByteArray::fromRawData(previousDomain.constData(), previousDomain.size()));
        const QByteArrayView pathBytes = rows.getUtf8(pathColumn);
        if (pathBytes.isValidUtf8()) {
            item.path.setVal(QByteArray::fromRawData(pathBytes.data(), pathBytes.size()));
        } else {
            path = utf8Text(pathBytes);
            item.path.setVal(path);
        }
        const QByteArrayView stored = rows.getBytes(fileColumn);
        const QByteArray file = key.isEmpty()
            ? QByteArray::fromRawData(stored.data(), stored.size())
            : MBDBParser::decryptFileDescThrow(QByteArray::fromBase64(stored.toByteArray()), key);
        MBFile::readArchive(file, item, true);
        index.add(item);
    }
    db.close();
    return index;
}
