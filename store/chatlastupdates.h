// The newest date and the last group sender of each chat that a batch writes
// to, gathered while its messages go in and put into the chat rows once at
// the end: one update per chat rather than one per message, with the rows as
// the per-message updates would have left them.
#pragma once

#include <QHash>
#include <QString>

class IOS6MessageDb;

class ChatLastUpdates
{
public:
    void noteDate(qint64 chatId, int date21);
    void noteSender(qint64 chatId, const QString& handleId);
    // Writes what was gathered into the chat rows of `db` and forgets it.
    void flush(IOS6MessageDb& db);
    void clear();

private:
    QHash<qint64, int> m_dates;
    QHash<qint64, QString> m_senders;
};
