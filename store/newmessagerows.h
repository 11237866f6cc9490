// Entering the messages of a read into the set's hash of messages by row id.
// Into a set that starts empty, the records of new rows wait in a list and go
// into the hash in one pass after the read: a look-up in a hash of a million
// entries between two steps of SQLite misses the cache every time, while the
// misses of one tight pass overlap. A bitmap over the message table's row-id
// range tells a repeated row (a message in several chats) from a new one; a
// repeat first enters what waits, then finds its record in the hash.
#pragma once

#include <QHash>

#include <utility>
#include <vector>

struct _MsgMessage;

class NewMessageRows
{
public:
    // `firstRow` and `lastRow`: the smallest and largest row id that the read
    // can meet; `rows`: how many rows it will pass. A set that is not empty,
    // or a range too wide for a bitmap of 32 bits a row, has each row go into
    // the hash as it comes.
    NewMessageRows(QHash<qint64, _MsgMessage*>& messages, qint64 firstRow, qint64 lastRow, qint64 rows);
    NewMessageRows(const NewMessageRows&) = delete;
    NewMessageRows& operator=(const NewMessageRows&) = delete;

    // The set's place for the row's record: null for a row not met before,
    // which the caller fills before the next call.
    _MsgMessage*& place(qint64 rowId);
    // Enters every waiting record into the hash. Call it after the read, and
    // also when the read fails, so that every record made is in the set.
    void flush();

private:
    QHash<qint64, _MsgMessage*>& m_messages;
    qint64 m_firstRow = 0;
    quint64 m_range = 0;
    std::vector<quint64> m_seen; // empty: rows go straight into the hash
    std::vector<std::pair<qint64, _MsgMessage*>> m_waiting;
};
