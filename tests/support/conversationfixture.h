// Builds a message database folder (the layout of local databases and saved
// devices) holding one-to-one conversations, with rows made by SQL, from a
// few messages for a window test to a million for a benchmark.
#pragma once

#include <QList>
#include <QString>

namespace ConversationFixture {

struct Chat
{
    QString handleId; // the correspondent's address, shown as the name
    int messages = 1;
};

// Chat k (from 1) gets handle k and its messages "Message k.j" (j from 1),
// received and sent in turn (j even: sent). Row ids and dates grow in the
// order of the list, so the last chat is the most recent.
void create(const QString& folder, const QList<Chat>& chats);

} // namespace ConversationFixture
