// The handle type of every message database: what the source tree and the
// operation workers call on any of them, whatever its schema.
#pragma once

#include "absdb.h"
#include "msgdata.h"

class AbsMessageDb : public AbsDb
{
public:
    ~AbsMessageDb() override = default;

    // Loads every conversation with its correspondents into `data`; rows
    // already in the set (same row id) are reused, not read again.
    virtual void chats(MsgData& data) = 0;
    // Loads the conversations first, then the messages with their attachments:
    // those of chat `chatId` when it is greater than 0, of every chat otherwise.
    virtual void messages(MsgData& data, long long chatId) = 0;
    // The schema generations that type() and the schema test name.
    static constexpr int kIOS5Schema = 5;
    static constexpr int kIOS6Schema = 6;

    // The schema number: kIOS6Schema for iOS 6 and later, kIOS5Schema for iOS 5.
    virtual int type() const = 0;
};
