// Backing messages up into a new local database: 100,000 messages in 1,000
// conversations, 10,000 of them with an attachment. Prints the backup's
// messages per second beside a floor measured in the same run: the same
// chat, handle, message, attachment and join rows (the message rows with
// the same columns) written through one prepared statement per table in one
// transaction, and their ratio. Attachment copies are left out of both
// (the files' sources are hidden for that run) and timed on their own as a
// second backup into another new database with the files in place.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

#include <sqlite3.h>

#include "benchmessages.h"
#include "ios6messagedb.h"
#include "localdbbackup.h"
#include "messagecolumns.h"
#include "msgdata.h"

namespace {

constexpr int kChats = 1000;
int kMessages = 100000; // or the first argument
constexpr int kAttachmentEvery = 10; // 10,000 attachments
constexpr int kAttachmentBytes = 4096;

void generate(MsgData& data, QList<_MsgMessage*>& all, const QString& sourceDir)
{
    __MsgData* p = data.p();
    const QList<_MsgChat*> chats = addOneToOneChats(data, 1, kChats);
    const QByteArray bytes(kAttachmentBytes, 'x');
    QDir().mkpath(sourceDir);
    for (int i = 1; i <= kMessages; ++i) {
        _MsgChat* chat = chats[i % kChats];
        _MsgMessage* m = addChatMessage(data, chat, i, QStringLiteral("msg-%1").arg(i),
                                        QStringLiteral("Message %1 of the benchmark, a line of ordinary length").arg(i),
                                        1000 + i * 3);
        m->service = QStringLiteral("SMS");
        if (i % kAttachmentEvery == 0) {
            auto* a = new _MsgAttachment;
            a->ROWID = i;
            a->guid = QStringLiteral("att-%1").arg(i);
            a->filename =
                QStringLiteral("~/Library/SMS/Attachments/%1/%2.jpg").arg(i % 256, 2, 16, QLatin1Char('0')).arg(i);
            a->mime_type = QStringLiteral("image/jpeg");
            a->localPath = QStringLiteral("%1/%2.jpg").arg(sourceDir).arg(i);
            QFile f(a->localPath);
            if (f.open(QIODevice::WriteOnly))
                f.write(bytes);
            p->attachments.insert(i, a);
            m->attas.insert(QString::number(i), a);
        }
        all << m;
    }
}

double backupSeconds(const QList<_MsgMessage*>& messages, const QString& folder, int* copied = nullptr)
{
    LocalDbBackup backup(messages, QDir(folder), _CountryInfo());
    NullReporter reporter;
    QElapsedTimer clock;
    clock.start();
    backup.run(reporter);
    if (copied)
        *copied = backup.writer().copiedFiles();
    return clock.nsecsElapsed() / 1e9;
}

void check(int rc, sqlite3* db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        fprintf(stderr, "floor: %s\n", sqlite3_errmsg(db));
}

void bindVariant(sqlite3_stmt* stmt, int index, const QVariant& value, std::vector<QByteArray>& keep)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        keep.push_back(value.toString().toUtf8());
        sqlite3_bind_text(stmt, index, keep.back().constData(), int(keep.back().size()), SQLITE_STATIC);
        break;
    case QMetaType::QByteArray:
        keep.push_back(value.toByteArray());
        sqlite3_bind_blob(stmt, index, keep.back().constData(), int(keep.back().size()), SQLITE_STATIC);
        break;
    default:
        sqlite3_bind_int64(stmt, index, value.toLongLong());
    }
}

// The floor: the rows the backup writes, prepared before the clock starts
// and written through one statement per table.
double floorSeconds(const QList<_MsgMessage*>& messages, const QString& folder)
{
    {
        IOS6MessageDb schema(QDir(folder), _CountryInfo(), true);
        schema.openCheck();
        schema.close();
    }
    const QString path = folder + QStringLiteral("/file-relay/var/mobile/Library/SMS/sms.db");
    QList<Sqlite3Row> rows;
    rows.reserve(messages.size());
    auto all = [](const char*) { return true; };
    for (const _MsgMessage* m : messages) {
        Sqlite3Row row = messageRow(*m, false, all);
        row.remove(QStringLiteral("other_handle"));
        row["logic_hash"] = m->logicalHash();
        rows.append(row);
    }
    QStringList columns = rows.first().columns();
    QString marks;
    for (int i = 0; i < columns.size(); ++i)
        marks += i ? QStringLiteral(",?") : QStringLiteral("?");
    const QByteArray insertMessage =
        QStringLiteral("insert into message (%1) values (%2)").arg(columns.join(QLatin1Char(',')), marks).toUtf8();

    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    QElapsedTimer clock;
    clock.start();
    check(sqlite3_exec(db, "begin", nullptr, nullptr, nullptr), db);
    auto prepare = [db](const char* sql) {
        sqlite3_stmt* stmt = nullptr;
        check(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), db);
        return stmt;
    };
    sqlite3_stmt* chat = prepare("insert into chat (guid, style, state, chat_identifier, service_name, account_login,"
                                 " group_id) values (?, 45, 3, ?, 'SMS', 'E:', ?)");
    sqlite3_stmt* handle = prepare("insert into handle (id, service) values (?, 'SMS')");
    sqlite3_stmt* chatHandle = prepare("insert into chat_handle_join (chat_id, handle_id) values (?, ?)");
    sqlite3_stmt* message = prepare(insertMessage.constData());
    sqlite3_stmt* chatMessage = prepare("insert into chat_message_join (chat_id, message_id) values (?, ?)");
    sqlite3_stmt* attachment = prepare("insert into attachment (guid, created_date, start_date, filename, uti,"
                                       " mime_type, transfer_state, is_outgoing, transfer_name, total_bytes)"
                                       " values (?, 0, 0, ?, '', ?, 5, 0, ?, 0)");
    sqlite3_stmt* messageAttachment =
        prepare("insert into message_attachment_join (message_id, attachment_id) values (?, ?)");
    QHash<const _MsgChat*, qint64> chatIds;
    std::vector<QByteArray> keep;
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const _MsgMessage* m = messages.at(i);
        keep.clear();
        qint64& chatId = chatIds[m->chat];
        if (chatId == 0) {
            const _MsgHandle* h = *m->chat->handles.cbegin();
            bindVariant(chat, 1, m->chat->guid, keep);
            bindVariant(chat, 2, m->chat->chat_identifier, keep);
            bindVariant(chat, 3, m->chat->guid, keep);
            check(sqlite3_step(chat), db);
            sqlite3_reset(chat);
            chatId = sqlite3_last_insert_rowid(db);
            bindVariant(handle, 1, h->id, keep);
            check(sqlite3_step(handle), db);
            sqlite3_reset(handle);
            sqlite3_bind_int64(chatHandle, 1, chatId);
            sqlite3_bind_int64(chatHandle, 2, sqlite3_last_insert_rowid(db));
            check(sqlite3_step(chatHandle), db);
            sqlite3_reset(chatHandle);
        }
        const Sqlite3Row& row = rows.at(i);
        for (int c = 0; c < columns.size(); ++c)
            bindVariant(message, c + 1, row.val(columns.at(c)), keep);
        check(sqlite3_step(message), db);
        sqlite3_reset(message);
        const qint64 messageId = sqlite3_last_insert_rowid(db);
        sqlite3_bind_int64(chatMessage, 1, chatId);
        sqlite3_bind_int64(chatMessage, 2, messageId);
        check(sqlite3_step(chatMessage), db);
        sqlite3_reset(chatMessage);
        for (const _MsgAttachment* a : m->attas) {
            bindVariant(attachment, 1, a->guid, keep);
            bindVariant(attachment, 2, a->filename, keep);
            bindVariant(attachment, 3, a->mime_type, keep);
            bindVariant(attachment, 4, a->localPath.mid(a->localPath.lastIndexOf(QLatin1Char('/')) + 1), keep);
            check(sqlite3_step(attachment), db);
            sqlite3_reset(attachment);
            sqlite3_bind_int64(messageAttachment, 1, messageId);
            sqlite3_bind_int64(messageAttachment, 2, sqlite3_last_insert_rowid(db));
            check(sqlite3_step(messageAttachment), db);
            sqlite3_reset(messageAttachment);
        }
    }
    for (sqlite3_stmt* s : {chat, handle, chatHandle, message, chatMessage, attachment, messageAttachment})
        sqlite3_finalize(s);
    check(sqlite3_exec(db, "commit", nullptr, nullptr, nullptr), db);
    const double seconds = clock.nsecsElapsed() / 1e9;
    sqlite3_close_v2(db);
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1)
        kMessages = qMax(kAttachmentEvery, atoi(argv[1]));
    QTemporaryDir dir;
    const QString sources = dir.filePath(QStringLiteral("sources"));
    MsgData data;
    QList<_MsgMessage*> messages;
    generate(data, messages, sources);

    // Without the files: rows only.
    const QString hidden = dir.filePath(QStringLiteral("sources-hidden"));
    QDir().rename(sources, hidden);
    const double rows = backupSeconds(messages, dir.filePath(QStringLiteral("rows")));
    QDir().rename(hidden, sources);
    const double floor = floorSeconds(messages, dir.filePath(QStringLiteral("floor")));

    int copied = 0;
    const double withFiles = backupSeconds(messages, dir.filePath(QStringLiteral("files")), &copied);
    const double copies = withFiles - rows;

    printf("backup into a new local database: %d messages, %d attachments\n", kMessages, kMessages / kAttachmentEvery);
    printf("backup (rows only):  %.2f s, %.0f messages/s\n", rows, kMessages / rows);
    printf("floor (same rows, prepared statements, one transaction): %.2f s, %.0f messages/s\n", floor,
           kMessages / floor);
    printf("ratio to the floor: %.2f\n", rows / floor);
    printf("attachment copies: %d files of %d bytes in %.2f s (%.0f files/s, the backup with them %.2f s)\n", copied,
           kAttachmentBytes, copies, copied / (copies > 0 ? copies : 1e-9), withFiles);
    return 0;
}
