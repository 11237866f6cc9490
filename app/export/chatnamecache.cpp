#include "chatnamecache.h"

#include "msgrecords.h"

const QString& ChatNameCache::displayName(const _MsgChat* chat)
{
    if (m_lastName && chat == m_lastChat)
        return *m_lastName;
    auto it = m_names.find(chat);
    if (it == m_names.end())
        it = m_names.insert(chat, chat ? chat->displayLine(true) : QString());
    m_lastChat = chat;
    m_lastName = &it.value();
    return *m_lastName;
}
