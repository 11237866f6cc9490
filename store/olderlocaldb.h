// The local databases of the older kind: one SQLite file per database lying
// directly in the local-databases folder, whose view (or table) view_sms
// yields one row per message. Reads those rows as messages of the message
// model, each with a conversation and a correspondent of its own, ready for
// the local-database writer.
//
// view_sms, the columns read (others are ignored):
//   COLUMN   TYPE                MEANING
//   address  text                the correspondent's number or address
//   body     blob, may be NULL   the message text: UTF-8 enciphered with RC4
//   person   text                the correspondent's contact name
//   date     signed 32-bit       seconds since 1970-01-01 00:00:00 UTC
//   is_send  signed 32-bit       non-zero for a message the owner sent
//
// The body cipher: RC4 keyed with the 32 ASCII characters of kBodyKey (the
// characters themselves, not the bytes they spell in hexadecimal), a fresh
// key schedule for every row.
#pragma once

#include <QByteArray>
#include <QString>

#include "msgrecords.h"
#include "sqlitedb.h"

// RC4 over `bytes` with `key` (1 to 256 bytes): enciphers and deciphers alike.
QByteArray g_rc4(const QByteArray& key, const QByteArray& bytes);

// One row of view_sms as the message model holds it. The message points at
// the conversation and the correspondent beside it, so a row is neither
// copied nor moved.
struct OlderLocalDbMessage
{
    OlderLocalDbMessage() = default;
    OlderLocalDbMessage(const OlderLocalDbMessage&) = delete;
    OlderLocalDbMessage& operator=(const OlderLocalDbMessage&) = delete;

    _MsgHandle handle;
    _MsgChat chat;
    _MsgMessage message;
};

class OlderLocalDb
{
public:
    static const char kBodyKey[];

    // Opens nothing.
    explicit OlderLocalDb(const QString& path);

    // Opens the file (never creating it), then runs the query over view_sms.
    // Failures leave as std::exception with the database's text.
    void open();
    void queryRows();
    // The number of rows the query yields, counted before the first row.
    int count();
    // Fills `row` from the next row; false after the last one.
    bool next(OlderLocalDbMessage& row);
    void close();

    // Builds the message of one row, its guid last (from its logic hash).
    static void fill(OlderLocalDbMessage& row, const QString& address, const QByteArray& body,
                     const QString& person, int date, int isSend);

private:
    QString m_path;
    Sqlite3DB m_db;
    Sqlite3Cursor m_rows;
};
