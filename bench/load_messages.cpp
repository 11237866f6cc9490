// Loading a large iOS 6+ sms.db into the message model, against the floor of
// SQLite alone reading every column the reader uses of the same rows. Prints
// messages per second, the ratio to the floor and the memory the model takes
// per message beyond its text.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <vector>
#include <sqlite3.h>

#include "benchrounds.h"
#include "ios6messagedb.h"
#include "messagecolumns.h"
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

// Files generated before the fixture had it lack the index that a phone's
// sms.db has on the join's message ids.
void addMessageIdIndex(const QString& path)
{
    sqlite3* db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db);
    check(sqlite3_exec(db, "create index if not exists chat_message_join_idx_message_id_only on "
                           "chat_message_join(message_id)",
                       nullptr, nullptr, nullptr),
          db);
    sqlite3_close(db);
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
    addMessageIdIndex(partial);
    QFile::rename(partial, path);
}

// What the floor reads of one row: every column that the reader uses, into
// C values without copies (texts and blobs as pointer and length).
struct FloorRow
{
    sqlite3_stmt* st;
    std::vector<int> numbers;
    std::vector<int> bytes;

    FloorRow(sqlite3_stmt* statement, const std::vector<const char*>& numberColumns,
             const std::vector<const char*>& byteColumns)
        : st(statement)
    {
        for (const char* name : numberColumns)
            numbers.push_back(position(name));
        for (const char* name : byteColumns)
            bytes.push_back(position(name));
    }

    int position(const char* name) const
    {
        for (int i = 0; i < sqlite3_column_count(st); ++i)
            if (qstricmp(sqlite3_column_name(st, i), name) == 0)
                return i;
        return -1;
    }

    // Steps to the end; `sum` keeps the reads from being optimised away.
    qint64 readAll(quint64& sum)
    {
        qint64 rows = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int i : numbers)
                sum += quint64(sqlite3_column_int64(st, i));
            for (int i : bytes) {
                const void* p = sqlite3_column_blob(st, i);
                const int n = sqlite3_column_bytes(st, i);
                sum += n > 0 ? static_cast<const unsigned char*>(p)[0] + quint64(n) : 0;
            }
            ++rows;
        }
        return rows;
    }
};

// The floor: SQLite alone opening the file and reading, once, every column
// of every message and attachment row that the reader reads, with the
// statements the reader uses.
qint64 plainScan(const QString& path, double& seconds)
{
    QElapsedTimer timer;
    timer.start();
    sqlite3* db = nullptr;
    check(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr), db);
    std::vector<const char*> numbers = {"chat_id", "rowid", "item_type", "handle_id", "other_handle"};
    std::vector<const char*> bytes;
    for (const MessageColumn& col : messageColumns())
        (col.kind == MessageColumn::Text || col.kind == MessageColumn::SharedText || col.kind == MessageColumn::Blob
             ? bytes
             : numbers)
            .push_back(col.name);
    sqlite3_stmt* st = prepare(db, "select j.chat_id, m.* from chat_message_join as j inner join message as m on "
                                   "j.message_id = m.rowid and m.item_type <> 4");
    quint64 sum = 0;
    const qint64 rows = FloorRow(st, numbers, bytes).readAll(sum);
    sqlite3_finalize(st);
    st = prepare(db, "select ma.message_id, ma.attachment_id, cm.chat_id, a.* from message_attachment_join as ma "
                     "inner join attachment as a on ma.attachment_id=a.rowid "
                     "inner join chat_message_join as cm on ma.message_id=cm.message_id");
    FloorRow(st,
             {"message_id", "attachment_id", "rowid", "created_date", "start_date", "transfer_state", "is_outgoing",
              "total_bytes"},
             {"guid", "filename", "uti", "mime_type", "user_info", "transfer_name"})
        .readAll(sum);
    sqlite3_finalize(st);
    sqlite3_close(db);
    seconds = timer.nsecsElapsed() / 1e9;
    if (sum == 42)
        std::printf(" ");
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

    addMessageIdIndex(path);
    double warm = 0;
    plainScan(path, warm); // warms the page cache
    // The floor and the load take turns, three rounds: on a busy machine one
    // measurement of either varies by half from the next, more than the
    // difference measured; the medians are compared. The memory is that of
    // the first round's load, made in a process that held no messages yet.
    constexpr int kRounds = 3;
    std::vector<double> floors, loads;
    qint64 rows = 0, messages = 0, attachments = 0, chats = 0, textBytes = 0, modelKiB = 0;
    for (int round = 0; round < kRounds; ++round) {
        double floorSeconds = 0;
        rows = plainScan(path, floorSeconds);
        floors.push_back(floorSeconds);
        const qint64 rssBefore = statusKiB("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        MsgData data;
        {
            IOS6MessageDb db{QDir(folder), _CountryInfo(), false};
            db.messages(data, 0);
        }
        loads.push_back(timer.nsecsElapsed() / 1e9);
        if (round > 0)
            continue;
        modelKiB = statusKiB("VmRSS:") - rssBefore;
        messages = data.p()->messages.size();
        attachments = data.p()->attachments.size();
        chats = data.p()->chats.size();
        for (const _MsgMessage* m : data.p()->messages)
            textBytes += m->text.size() * qint64(sizeof(QChar));
    }
    const double floorSeconds = g_median(floors);
    const double loadSeconds = g_median(loads);

    std::printf("rows scanned            %lld\n", static_cast<long long>(rows));
    std::printf("SQLite floor            %.3f s (%.0f rows/s; median of %s s)\n", floorSeconds, rows / floorSeconds,
                qPrintable(g_roundsText(floors)));
    std::printf("model load              %.3f s (%.0f messages/s; median of %s s), %.2fx the floor (goal 2.5x)\n",
                loadSeconds, messages / loadSeconds, qPrintable(g_roundsText(loads)), loadSeconds / floorSeconds);
    std::printf("messages / attachments  %lld / %lld in %lld chats\n", static_cast<long long>(messages),
                static_cast<long long>(attachments), static_cast<long long>(chats));
    std::printf("peak resident memory    %.1f MiB\n", statusKiB("VmHWM:") / 1024.0);
    std::printf("model memory            %.1f MiB, %.0f bytes per message beyond its text (goal 600; %.0f text bytes)\n",
                modelKiB / 1024.0, (modelKiB * 1024.0 - textBytes) / messages, double(textBytes) / messages);
    return 0;
}
