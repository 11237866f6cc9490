// Loading a large iOS 6+ sms.db into the message model, against the floor of
// a plain SQLite scan of the same rows. Prints messages per second and the
// memory the model takes per message beyond its text.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <sqlite3.h>

#include "ios6messagedb.h"
#include "smsdbfixture.h"

namespace {

constexpr int kMessages = 1000000;
constexpr int kChats = 2000;
constexpr int kAttachments = 50000;

void check(int rc, sqlite3* db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

sqlite3_stmt* prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* st = nullptr;
    check(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), db);
    return st;
}

void stepReset(sqlite3_stmt* st, sqlite3* db)
{
    check(sqlite3_step(st), db);
    sqlite3_reset(st);
}

// One chat per handle; messages spread round the chats; every 20th message has an attachment.
void generate(const QString& path)
{
    const QString partial = path + ".part";
    QFile::remove(partial);
    SmsDbFixture::createDevice(partial, SmsDbFixture::OptionalColumns);
    sqlite3* db = nullptr;
    check(sqlite3_open(partial.toUtf8().constData(), &db), db);
    check(sqlite3_exec(db, "pragma journal_mode=off; pragma synchronous=off; begin", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* chat = prepare(db, "insert into chat (ROWID, guid, style, state, chat_identifier, service_name, "
                                     "account_login) values (?1, 'chat-' || ?1, 45, 3, '+1212555' || ?1, 'SMS', 'E:')");
    sqlite3_stmt* handle = prepare(db, "insert into handle (ROWID, id, country, service) values (?1, '+1212555' || ?1, 'us', 'SMS')");
    sqlite3_stmt* chj = prepare(db, "insert into chat_handle_join values (?1, ?1)");
    for (int i = 1; i <= kChats; ++i)
        for (sqlite3_stmt* st : {chat, handle, chj}) {
            sqlite3_bind_int(st, 1, i);
            stepReset(st, db);
        }
    sqlite3_stmt* msg = prepare(db, "insert into message (ROWID, guid, text, handle_id, service, account, date, date_read, "
                                    "is_from_me, is_read, is_sent) values (?1, 'msg-' || ?1, ?2, ?3, 'SMS', 'e:', ?4, ?4, "
                                    "?1 % 2, 1, ?1 % 2)");
    sqlite3_stmt* cmj = prepare(db, "insert into chat_message_join values (?1, ?2)");
    sqlite3_stmt* att = prepare(db, "insert into attachment (ROWID, guid, filename, mime_type, total_bytes) values "
                                    "(?1, 'att-' || ?1, '~/Library/SMS/Attachments/' || (?1 % 256) || '/IMG_' || ?1 || '.JPG', "
                                    "'image/jpeg', 100000)");
    sqlite3_stmt* maj = prepare(db, "insert into message_attachment_join values (?1, ?2)");
    int attachment = 0;
    for (int i = 1; i <= kMessages; ++i) {
        const int chatId = 1 + i % kChats;
        const QByteArray text = QByteArray("Message number ") + QByteArray::number(i) + " of the benchmark, see you soon";
        sqlite3_bind_int(msg, 1, i);
        sqlite3_bind_text(msg, 2, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(msg, 3, chatId);
        sqlite3_bind_int(msg, 4, 600000000 + i * 30);
        stepReset(msg, db);
        sqlite3_bind_int(cmj, 1, chatId);
        sqlite3_bind_int(cmj, 2, i);
        stepReset(cmj, db);
        if (i % (kMessages / kAttachments) == 0) {
            ++attachment;
            sqlite3_bind_int(att, 1, attachment);
            stepReset(att, db);
            sqlite3_bind_int(maj, 1, i);
            sqlite3_bind_int(maj, 2, attachment);
            stepReset(maj, db);
        }
    }
    for (sqlite3_stmt* st : {chat, handle, chj, msg, cmj, att, maj})
        sqlite3_finalize(st);
    check(sqlite3_exec(db, "commit", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
    QFile::rename(partial, path);
}

// The floor: the reader's message statement stepped to the end, values untouched.
qint64 plainScan(const QString& path, double& seconds)
{
    sqlite3* db = nullptr;
    check(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr), db);
    QElapsedTimer timer;
    timer.start();
    sqlite3_stmt* st = prepare(db, "select j.chat_id, m.* from chat_message_join as j inner join message as m on "
                                   "j.message_id = m.rowid and m.item_type <> 4");
    qint64 rows = 0;
    while (sqlite3_step(st) == SQLITE_ROW)
        ++rows;
    sqlite3_finalize(st);
    seconds = timer.nsecsElapsed() / 1e9;
    sqlite3_close(db);
    return rows;
}

// Resident memory now and at its peak, in KiB, from /proc/self/status.
qint64 statusKiB(const char* field)
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString folder = QString(QS_BENCH_DATA_DIR) + "/load_messages";
    const QString path = SmsDbFixture::smsDbPath(folder);
    if (!QFile::exists(path)) {
        std::printf("generating %s ...\n", qPrintable(path));
        QDir().mkpath(QFileInfo(path).absolutePath());
        generate(path);
    }

    double floorSeconds = 0;
    plainScan(path, floorSeconds); // warms the page cache
    const qint64 rows = plainScan(path, floorSeconds);

    const qint64 rssBefore = statusKiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    MsgData data;
    qint64 textBytes = 0;
    {
        IOS6MessageDb db{QDir(folder), _CountryInfo(), false};
        db.messages(data, 0);
    }
    const double loadSeconds = timer.nsecsElapsed() / 1e9;
    const qint64 rssAfter = statusKiB("VmRSS:");
    const qint64 messages = data.p()->messages.size();
    for (const _MsgMessage* m : data.p()->messages)
        textBytes += m->text.size() * qint64(sizeof(QChar));

    std::printf("rows scanned            %lld\n", static_cast<long long>(rows));
    std::printf("plain SQLite scan       %.3f s (%.0f rows/s)\n", floorSeconds, rows / floorSeconds);
    std::printf("model load              %.3f s (%.0f messages/s), %.2fx the scan\n", loadSeconds, messages / loadSeconds,
                loadSeconds / floorSeconds);
    std::printf("messages / attachments  %lld / %lld in %lld chats\n", static_cast<long long>(messages),
                static_cast<long long>(data.p()->attachments.size()), static_cast<long long>(data.p()->chats.size()));
    std::printf("peak resident memory    %.1f MiB\n", statusKiB("VmHWM:") / 1024.0);
    std::printf("model memory            %.1f MiB, %.0f bytes per message beyond its text (%.0f text bytes)\n",
                (rssAfter - rssBefore) / 1024.0, ((rssAfter - rssBefore) * 1024.0 - textBytes) / messages,
                double(textBytes) / messages);
    return 0;
}
