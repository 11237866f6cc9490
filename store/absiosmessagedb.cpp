#include "absiosmessagedb.h"

#include <QSet>

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
            return 5;
    return 6;
}
