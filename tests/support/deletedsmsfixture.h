// iOS 6+ sms.db files for the recovery tests and benchmark: correspondents,
// one conversation each, and messages spread round them, written with secure
// delete off so that deleted rows stay in the file. Guids are UUID-shaped
// ("%08X-0000-4000-8000-%012X" of the row id), so they survive storing. The
// schema is the first iOS 6 one.
#pragma once

#include <QSet>
#include <QString>

namespace DeletedSmsFixture {

// Creates the database folder's sms.db (device schema with the later message
// columns) holding `handles` handles and chats and `messages` messages; every
// `longEvery`-th message (0: none) has a text long enough for overflow pages.
void create(const QString& folder, int handles, int messages, int longEvery = 0);
// How an iOS 5 message table holds its iMessage columns.
enum class Ios5Shape {
    // Added after the SMS columns, madrid_account_guid last; SMS rows leave
    // them NULL.
    Appended,
    // Declared whole in the order a real phone declares them
    // (madrid_account_guid after madrid_account); SMS rows hold 0 in the
    // number columns and, every fifth, a blob of no bytes in
    // madrid_attributedBody.
    Phone,
    // As Phone, with a TEXT column `extra` appended after the rows were
    // written: their records hold one value fewer than the table declares.
    PhoneThenColumn,
    // Upgraded from iOS 4: the table made with the 17 SMS columns, the
    // even-numbered SMS written then (17 values), the iMessage columns
    // appended as in Appended, and the other rows written after (33 values),
    // so that every page holds rows of both lengths.
    Upgraded,
};
// Creates an iOS 5 sms.db with `messages` messages: every third an iMessage
// (madrid_guid guidOf(rowid), madrid_error 4 on every ninth), the others SMS
// from `handles` addresses, dated from 2011 on.
void createIos5(const QString& folder, int handles, int messages, Ios5Shape shape = Ios5Shape::Appended);
// The guid of message row `rowid`.
QString guidOf(qint64 rowid);
// Guids of the message table, and ids of the handle table, as SQLite reads them.
QSet<QString> liveGuids(const QString& folder);
QSet<QString> liveHandleIds(const QString& folder);
// Runs SQL on the folder's sms.db with secure delete off.
void exec(const QString& folder, const QString& sql);

} // namespace DeletedSmsFixture
