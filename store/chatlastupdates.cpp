#include "chatlastupdates.h"

#include "ios6messagedb.h"

void ChatLastUpdates::noteDate(qint64 chatId, int date21)
{
    auto last = m_dates.find(chatId);
    if (last == m_dates.end())
        m_dates.insert(chatId, date21);
    else if (*last < date21)
        *last = date21;
}

void ChatLastUpdates::noteSender(qint64 chatId, const QString& handleId)
{
    m_senders.insert(chatId, handleId);
}

void ChatLastUpdates::flush(IOS6MessageDb& db)
{
    for (auto it = m_dates.cbegin(); it != m_dates.cend(); ++it)
        db.updateChatLastDate21(it.key(), it.value());
    for (auto it = m_senders.cbegin(); it != m_senders.cend(); ++it)
        db.updateChatLastHandle(it.key(), it.value());
    clear();
}

void ChatLastUpdates::clear()
{
    m_dates.clear();
    m_senders.clear();
}
