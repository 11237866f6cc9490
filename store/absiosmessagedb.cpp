#include "absiosmessagedb.h"

#include <QSet>

AbsIOSMessageDb::AbsIOSMessageDb(const QDir& dir, const _CountryInfo& country)
    : fileRelayDir(dir.absoluteFilePath(QStringLiteral("file-relay"))),
      contacts(dir, country),
      recycle(dir.absoluteFilePath(QStringLiteral("recycle.db"))),
      countries(QString()),
      country(country),
      smsDbPath(smsDbPathIn(dir))
{
}

AbsIOSMessageDb::~AbsIOSMessageDb() = default;

QString AbsIOSMessageDb::smsDbPathIn(const QDir& dir)
{
    return dir.absoluteFilePath(QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db"));
}

const _CountryInfo& AbsIOSMessageDb::countryOf(const QString& code, CountryCache& cache)
{
    auto it = cache.find(code);
    if (it == cache.end())
        it = cache.insert(code, countries.infoByCode(code, nullptr));
    return *it;
}

__MsgData& AbsIOSMessageDb::beginChats(MsgData& data)
{
    openCheck();
    try {
        contacts.openCheck();
    } catch (const std::exception&) {
        // Without the contacts cache the correspondents keep the names stored
        // in the file, if any.
    }
    return *data.p();
}

int AbsIOSMessageDb::checkDbType(const QString& path)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::ReadWrite);
    QSet<QString> tables;
    Sqlite3Cursor c = db.queryThrow("select * from sqlite_master where type='table'");
    while (c.moveNext())
        tables.insert(c.getText(QStringLiteral("name")));
    db.close();
    static const char* const kIos6Tables[] = {"chat", "handle", "chat_handle_join", "message", "chat_message_join"};
    for (const char* name : kIos6Tables)
        if (!tables.contains(QLatin1String(name)))
            return kIOS5Schema;
    return kIOS6Schema;
}
