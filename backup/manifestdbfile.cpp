// Manifest.db, the tables and columns read:
//
//   Files(fileID, domain, relativePath, flags, file)
//     domain, relativePath   text; the stored name is computed from them, so
//                            fileID and flags are not read
//     file                   the MBFile archive as a binary property list, or
//                            the Base64 of its enciphered bytes
//   Properties(key, value)   only key 'salt' is read: the cipher's salt
#include "manifestdbfile.h"

#include "mbfile.h"
#include "sqlitedb.h"

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
} // namespace

MBDBParser::Index g_readManifestDbIndex(const QString& dbPath, const QString& password)
{
    Sqlite3DB db;
    db.openThrow(dbPath, Sqlite3DB::ReadWrite);
    const QByteArray key = recordKey(db, password);
    MBDBParser::Index index;
    Sqlite3Cursor rows = db.queryThrow("select * from Files");
    const QString domainColumn = QStringLiteral("domain");
    const QString pathColumn = QStringLiteral("relativePath");
    const QString fileColumn = QStringLiteral("file");
    QByteArray previousDomain;
    while (rows.moveNext()) {
        const QByteArray domain = rows.getText(domainColumn).toUtf8();
        if (domain.isEmpty())
            continue;
        MBDBParser::_MBDBItem item;
        // Domains repeat across thousands of rows: share one copy of each.
        if (domain != previousDomain)
            previousDomain = domain;
        item.domain.setVal(previousDomain);
        item.path.setVal(rows.getText(pathColumn).toUtf8());
        QByteArray file = rows.getBlob(fileColumn);
        if (!key.isEmpty())
            file = MBDBParser::decryptFileDescThrow(QByteArray::fromBase64(file), key);
        MBFile::readArchive(file, item);
        index.insert(item.backupFileName(), item);
    }
    db.close();
    return index;
}
