// The message set: everything read from one message database, owned by one
// __MsgData and shared through MsgData handles; the grouping of chats into
// displayed conversations; and the ordering predicates of messages,
// conversations and attachments (sort only with qsMergeSort: they are not
// strict weak orderings).
#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QSharedPointer>

#include "msgrecords.h"
#include "recordpool.h"

struct __MsgData
{
    QHash<qint64, _MsgChat*> chats;
    QHash<qint64, _MsgHandle*> handles;
    QHash<qint64, _MsgMessage*> messages;
    QHash<qint64, _MsgAttachment*> attachments;

    __MsgData() = default;
    ~__MsgData();
    __MsgData(const __MsgData&) = delete;
    __MsgData& operator=(const __MsgData&) = delete;

    // The only way records leave the set: each takes the records out of every
    // hash and link of the set that names them, then deletes them. One pass
    // over the set per call, however many records go.
    void removeMessages(const QSet<_MsgMessage*>& gone);
    void removeChats(const QSet<_MsgChat*>& gone);
    void removeHandles(const QSet<_MsgHandle*>& gone);
    void removeAttachments(const QSet<_MsgAttachment*>& gone);

    // A new message record that the set owns once it is in `messages`: taken
    // from a pool of records, so a million messages cost a few hundred
    // allocations. Only removeMessages and the set's end give it back; a
    // record made with `new` may be entered too.
    _MsgMessage* newMessage();

private:
    RecordPool<_MsgMessage> m_messagePool;
};

struct _MsgChatMerge
{
    QList<_MsgChat*> chats;
    int last = 0;

    // The messages of every chat, one chat after the other, unsorted.
    QList<_MsgMessage*> messages() const;
};

class MsgData
{
public:
    MsgData();

    __MsgData* p() const { return m_data.data(); }
    QList<_MsgChat*> chats() const;
    QList<_MsgMessage*> messages() const;
    // One entry per distinct chat identifier (exact, case-sensitive).
    QList<_MsgChatMerge> chatMergeList() const;

private:
    QSharedPointer<__MsgData> m_data;
};

bool compareMsgMessageAsc(const _MsgMessage* a, const _MsgMessage* b);
bool compareMsgMessageDesc(const _MsgMessage* a, const _MsgMessage* b);
// qsMergeSort with compareMsgMessageAsc (or Desc), the same order, faster
// on large lists.
void sortMsgMessages(QList<_MsgMessage*>& list, bool descending);
bool compareMsgChatMergeLastDesc(const _MsgChatMerge& a, const _MsgChatMerge& b);
bool compareMsgChatLastDesc(const _MsgChat* a, const _MsgChat* b);
