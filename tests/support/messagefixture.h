// Messages for the export, local-database and restore tests, built in
// memory: handles, chats and messages linked as the message store links them
// and owned by one MsgData.
#pragma once

#include "msgdata.h"

#include <QList>
#include <QString>

struct MessageFixture
{
    MsgData data;
    QList<_MsgMessage*> messages; // in the order made

    _MsgHandle* handle(const QString& id, const QString& name = QString())
    {
        auto* h = new _MsgHandle;
        h->ROWID = data.p()->handles.size() + 1;
        h->id = id;
        h->_ct_name = name;
        data.p()->handles.insert(h->ROWID, h);
        return h;
    }

    _MsgChat* chat(const QString& identifier, const QList<_MsgHandle*>& handles, int last = 0,
                   const QString& displayName = QString())
    {
        auto* c = new _MsgChat;
        c->ROWID = data.p()->chats.size() + 1;
        c->guid = QStringLiteral("chat-%1").arg(c->ROWID);
        c->chat_identifier = identifier;
        c->display_name = displayName;
        c->_last = last;
        for (_MsgHandle* h : handles)
            c->handles.insert(QString::number(h->ROWID), h);
        data.p()->chats.insert(c->ROWID, c);
        return c;
    }

    _MsgMessage* message(_MsgChat* chat, int date, bool fromMe, const QString& text)
    {
        auto* m = new _MsgMessage;
        m->ROWID = data.p()->messages.size() + 1;
        m->guid = QStringLiteral("msg-%1").arg(m->ROWID);
        m->text = text;
        m->date = date;
        m->is_from_me = fromMe ? 1 : 0;
        m->chat = chat;
        if (chat) {
            chat->messages.insert(QString::number(m->ROWID), m);
            if (!chat->handles.isEmpty() && !fromMe)
                m->handle = *chat->handles.cbegin();
        }
        data.p()->messages.insert(m->ROWID, m);
        messages.append(m);
        return m;
    }
};
