// Pieces shared by the benchmarks that build their message sets in memory.
#pragma once

#include <QList>
#include <QString>

#include "msgdata.h"
#include "progressreporter.h"

// Progress goes nowhere: the benchmarks time the work, not a dialog.
class NullReporter : public ProgressReporter
{
public:
    void reportProgress(const QString&, int, const QString&) override {}
    bool isCancelled() const override { return false; }
};

// One-to-one chats with row ids first..first+count-1, each with the handle of
// the same row id as its only correspondent; the set owns them.
inline QList<_MsgChat*> addOneToOneChats(MsgData& data, int first, int count)
{
    __MsgData* p = data.p();
    QList<_MsgChat*> chats;
    chats.reserve(count);
    for (int k = first; k < first + count; ++k) {
        auto* h = new _MsgHandle;
        h->ROWID = k;
        h->id = QStringLiteral("+1212555%1").arg(k, 4, 10, QLatin1Char('0'));
        p->handles.insert(k, h);
        auto* c = new _MsgChat;
        c->ROWID = k;
        c->guid = QStringLiteral("chat-%1").arg(k);
        c->chat_identifier = h->id;
        c->handles.insert(QString::number(k), h);
        p->chats.insert(k, c);
        chats << c;
    }
    return chats;
}

// A one-to-one message of `chat` with row id `rowId`, every other one sent by
// the phone's owner; entered in its chat and in the set, which owns it.
inline _MsgMessage* addChatMessage(MsgData& data, _MsgChat* chat, int rowId, const QString& guid,
                                   const QString& text, int date)
{
    auto* m = new _MsgMessage;
    m->ROWID = rowId;
    m->srcRowId = rowId;
    m->guid = guid;
    m->text = text;
    m->date = date;
    m->is_from_me = rowId % 2;
    m->chat = chat;
    m->handle = m->is_from_me ? nullptr : *chat->handles.cbegin();
    chat->messages.insert(QString::number(rowId), m);
    data.p()->messages.insert(rowId, m);
    return m;
}
