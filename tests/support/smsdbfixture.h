// Builders of iOS 6+ message databases for tests: a device's sms.db in its
// main schema variants, and a local database of the older layout that the
// upgrade brings up to date. Rows are added by the tests with plain SQL.
#pragma once

#include <QString>

namespace SmsDbFixture {

enum Variant {
    Base = 0,                 // iOS 6/7 columns only, dates in seconds
    OptionalColumns = 1 << 0, // message columns from is_audio_message on, chat display_name and group_id,
                              // attachment user_info, transfer_name, total_bytes and original_guid
    Nanoseconds = 1 << 1,     // message carries ck_record_id: its three dates are nanoseconds
    SyncTables = 1 << 2,      // sync_deleted_* and deleted_messages, each holding one row
    FunctionTriggers = 1 << 3 // attachment triggers calling the device's SQL functions
};

// Creates a device sms.db at `path` (folders included) of the given variant
// flags, without rows.
void createDevice(const QString& path, int variant);

// Creates a local database of the older layout at `path`: no chat.group_id,
// no message columns from is_audio_message on, no logic_hash.
void createOldLocal(const QString& path);

// The path of the message database inside a database folder.
QString smsDbPath(const QString& folder);

} // namespace SmsDbFixture
