// The display name of a conversation with its correspondents' numbers,
// computed once per chat for a whole export instead of once per message. The
// chats must not change while the cache lives (an export guarantees it).
#pragma once

#include <QHash>
#include <QString>

struct _MsgChat;

class ChatNameCache
{
public:
    // _MsgChat::displayLine(true); the empty text for no chat.
    const QString& displayName(const _MsgChat* chat);

private:
    QHash<const _MsgChat*, QString> m_names;
    const _MsgChat* m_lastChat = nullptr;
    const QString* m_lastName = nullptr;
};
