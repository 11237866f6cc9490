#include "conversationfixture.h"

#include "smsdbfixture.h"
#include "sqlfixture.h"

namespace ConversationFixture {

void create(const QString& folder, const QList<Chat>& chats)
{
    const QString path = SmsDbFixture::smsDbPath(folder);
    SmsDbFixture::createDevice(path, SmsDbFixture::Base);
    QString sql = QStringLiteral("pragma journal_mode=off; pragma synchronous=off; begin;");
    qint64 first = 1;
    for (int k = 1; k <= chats.size(); ++k) {
        const Chat& chat = chats.at(k - 1);
        QString id = chat.handleId;
        id.replace(QLatin1Char('\''), QLatin1String("''"));
        sql += QStringLiteral(
                   "insert into handle (ROWID, id, country, service) values (%1, '%2', 'us', 'SMS');"
                   "insert into chat (ROWID, guid, style, state, chat_identifier, service_name, account_login)"
                   " values (%1, 'chat-%1', 45, 3, '%2', 'SMS', 'E:');"
                   "insert into chat_handle_join values (%1, %1);")
                   .arg(k)
                   .arg(id);
        if (chat.messages <= 0)
            continue;
        // A recursive count makes the rows inside SQLite, however many.
        sql += QStringLiteral(
                   "insert into message (ROWID, guid, text, handle_id, service, date, date_read, is_from_me, is_read,"
                   " is_sent) with recursive n(j) as (select 1 union all select j + 1 from n where j < %2)"
                   " select %3 + j - 1, 'msg-' || (%3 + j - 1), 'Message %1.' || j, %1, 'SMS', 1000 + %3 + j,"
                   " 1000 + %3 + j, j % 2 = 0, 1, j % 2 = 0 from n;"
                   "insert into chat_message_join select %1, ROWID from message where ROWID >= %3 and ROWID < %3 + %2;")
                   .arg(k)
                   .arg(chat.messages)
                   .arg(first);
        first += chat.messages;
    }
    sql += QStringLiteral("commit;");
    SqlFixture::build(path, sql);
}

} // namespace ConversationFixture
