// The recovery database recycle.db beside a message database: the message
// and handle rows that the recovery engine carves out of a device's sms.db,
// and their return into a loaded message set as recovered messages.
#pragma once

#include <QList>
#include <QString>

#include "absdb.h"
#include "msgdata.h"

// One message read back from the recovery database.
struct RecycleMsg
{
    _MsgMessage msg;        // recovered set, row id -2047483648 - stored row id
    QString chatIdentifier; // the conversation the recovery placed it in
    QString handleId;       // the address the recovery attached to it
};

class MessageRecycleDb : public AbsDb
{
public:
    explicit MessageRecycleDb(const QString& path);

    // Opens the file, or creates it with the schema when missing. A failed
    // schema leaves neither a connection nor the file it created.
    void openCheck() override;

    // Stores the message (a fresh UUID when its guid is not shaped like one);
    // returns the new row id. Callers bracket runs with beginEdit/endEdit.
    qint64 insertMessage(const _MsgMessage* msg, const QString& chatIdentifier, const QString& handle,
                         qint64 srcRowId);
    // Row id of a stored message with the record's guid, or with its date,
    // direction, text and correspondent (handle_id, and the stored handle
    // when `handle` is not null); 0 when none.
    qint64 findMessage(const _MsgMessage* msg, const QString& handle = QString());
    void updateMessageChat(const _MsgMessage* msg, const QString& chatIdentifier, const QString& handle);
    // Every stored message not marked to skip.
    QList<RecycleMsg> messages();

    qint64 findHandle(const _MsgHandle* h);
    qint64 insertHandle(const _MsgHandle* h, qint64 srcRowId);
    QList<_MsgHandle> handles();
    // The stored handle carved from that source row, its row id being the
    // source row id; a default handle when none.
    _MsgHandle handleBySrcRowId(qint64 srcRowId);

    // Adds the messages to the set, each in the conversation of its chat
    // identifier and kind of service, or in one made up for it. Opens nothing.
    void mergeMessages(MsgData& data, const QList<RecycleMsg>& list);

private:
    QString path;
};

// Whether `guid` is shaped 8-4-4-4-12 of ASCII letters and digits.
bool isGuidShaped(const QString& guid);
