// Building the message database for a backup: a backup's sms.db of 200,000
// messages in 1,000 conversations merged with 100,000 chosen messages (half
// of them in conversations the backup holds). Prints the build's time and
// messages per second, and its ratio to a floor measured in the same run:
// copying the file and writing the same number of message and join rows
// through prepared statements in one transaction, the work no builder can skip.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

#include <sqlite3.h>

#include "benchmessages.h"
#include "conversationfixture.h"
#include "ios6messagedb.h"
#include "ios6restoremessagesbuilder.h"
#include "msgdata.h"
#include "smsdbfixture.h"

namespace {

constexpr int kTargetChats = 1000;
constexpr int kTargetPerChat = 200;
constexpr int kChosen = 100000;
constexpr int kChosenChats = 1000; // chats 501..1500: the first half the backup holds

void generate(MsgData& data, QList<_MsgMessage*>& all)
{
    const QList<_MsgChat*> chats = addOneToOneChats(data, 501, kChosenChats);
    for (int i = 1; i <= kChosen; ++i) {
        _MsgChat* chat = chats[i % kChosenChats];
        _MsgMessage* m = addChatMessage(data, chat, i, QStringLiteral("chosen-%1").arg(i),
                                        QStringLiteral("Chosen message %1 of the benchmark").arg(i), 1000 + i * 3);
        m->srcRowId = i * 2;
        m->service = QStringLiteral("SMS");
        all << m;
    }
}

void exec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        fprintf(stderr, "floor: %s\n", error ? error : "?");
        sqlite3_free(error);
    }
}

// The floor: the copy, and every message and join row written once.
double floorSeconds(const QString& source, const QString& copy, int targetRows, const QList<_MsgMessage*>& chosen)
{
    QElapsedTimer clock;
    clock.start();
    QFile::copy(source, copy);
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(copy).constData(), &db);
    exec(db, "delete from message; delete from chat_message_join; vacuum; begin;");
    sqlite3_stmt* message = nullptr;
    sqlite3_stmt* join = nullptr;
    sqlite3_prepare_v2(db, "insert into message (guid, text, date, handle_id) values (?, ?, ?, ?)", -1, &message, nullptr);
    sqlite3_prepare_v2(db, "insert into chat_message_join (chat_id, message_id) values (?, ?)", -1, &join, nullptr);
    auto write = [&](const QByteArray& guid, const QByteArray& text, int date, qint64 chatId) {
        sqlite3_bind_text(message, 1, guid.constData(), int(guid.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(message, 2, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(message, 3, date);
        sqlite3_bind_int(message, 4, 1);
        sqlite3_step(message);
        sqlite3_reset(message);
        sqlite3_bind_int64(join, 1, chatId);
        sqlite3_bind_int64(join, 2, sqlite3_last_insert_rowid(db));
        sqlite3_step(join);
        sqlite3_reset(join);
    };
    for (int i = 1; i <= targetRows; ++i)
        write("target-" + QByteArray::number(i), "Message of the backup", i, 1 + i % kTargetChats);
    for (const _MsgMessage* m : chosen)
        write(m->guid.toUtf8(), m->text.toUtf8(), m->date, m->chat->ROWID);
    sqlite3_finalize(message);
    sqlite3_finalize(join);
    exec(db, "commit;");
    sqlite3_close_v2(db);
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString cache = dir.filePath(QStringLiteral("cache"));
    QList<ConversationFixture::Chat> chats;
    for (int i = 1; i <= kTargetChats; ++i)
        chats.append({QStringLiteral("+1212555%1").arg(i, 4, 10, QLatin1Char('0')), kTargetPerChat});
    ConversationFixture::create(cache, chats);
    MsgData data;
    QList<_MsgMessage*> chosen;
    generate(data, chosen);
    const int targetRows = kTargetChats * kTargetPerChat;

    IOS6MessageDb target(QDir(cache), _CountryInfo(), false);
    IOS6RestoreMessagesBuilder builder(_CountryInfo(), chosen, target);
    NullReporter reporter;
    QElapsedTimer clock;
    clock.start();
    builder.run(reporter);
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double floor = floorSeconds(SmsDbFixture::smsDbPath(cache), dir.filePath(QStringLiteral("floor.db")),
                                      targetRows, chosen);
    const int total = targetRows + builder.acceptedCount();
    printf("restore build: %d backup messages + %d chosen in %.2f s (%.0f messages/s)\n", targetRows,
           builder.acceptedCount(), seconds, total / seconds);
    printf("floor (copy and every row written once): %.2f s; ratio %.2f\n", floor, seconds / floor);
    return 0;
}
