// The test that a row carved from an iOS 6+ sms.db can be a row of its
// message table: every carving layout of that table starts with the same
// twelve columns, the twelfth being the service.
#pragma once

#include "sqlitefilerecords.h"

// Accepts rows of at least 38 values whose value 11 reads "SMS" or
// "iMessage", letter case ignored.
bool checkMessageRowValid(const _SqliteFileRowData& row);
