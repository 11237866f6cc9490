// The test that a row carved from an iOS 6+ sms.db can be a row of its
// message table: every carving layout of that table starts with the same
// twelve columns, the twelfth being the service.
#pragma once

#include <QString>

#include "sqlitefilerecords.h"

// "SMS" or "iMessage" in any letter case, whole text: the two services a
// recovered message or correspondent may have.
bool isMessageService(const QString& service);

// Accepts rows of at least 38 values whose value 11 reads "SMS" or
// "iMessage", letter case ignored.
bool checkMessageRowValid(const _SqliteFileRowData& row);
