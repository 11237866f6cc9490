// Base of the message databases over an iPhone sms.db, and the test that
// tells which of the two schemas a file needs.
#pragma once

#include <QString>

#include "absmessagedb.h"

class AbsIOSMessageDb : public AbsMessageDb
{
public:
    ~AbsIOSMessageDb() override = default;

    // 6 when the file holds the tables chat, handle, chat_handle_join, message
    // and chat_message_join (names compared exactly), else 5. The file is
    // opened read-write without creating it; a missing or damaged file throws
    // the wrapper's error.
    static int checkDbType(const QString& path);
};
