#include "ios6messagelayouts.h"

namespace {

// Name, declared type, declared with a DEFAULT. Column 0 is the primary key
// and guid the one NOT NULL column.
struct Column
{
    const char* name;
    const char* type;
    bool hasDefault;
};

const Column kColumns[] = {
    {"ROWID", "INTEGER", false}, {"guid", "TEXT", false}, {"text", "TEXT", false}, {"replace", "INTEGER", true},
    {"service_center", "TEXT", false}, {"handle_id", "INTEGER", true}, {"subject", "TEXT", false},
    {"country", "TEXT", false}, {"attributedBody", "BLOB", false}, {"version", "INTEGER", true},
    {"type", "INTEGER", true}, {"service", "TEXT", false}, {"account", "TEXT", false},
    {"account_guid", "TEXT", false}, {"error", "INTEGER", true}, {"date", "INTEGER", false},
    {"date_read", "INTEGER", false}, {"date_delivered", "INTEGER", false}, {"is_delivered", "INTEGER", true},
    {"is_finished", "INTEGER", true}, {"is_emote", "INTEGER", true}, {"is_from_me", "INTEGER", true},
    {"is_empty", "INTEGER", true}, {"is_delayed", "INTEGER", true}, {"is_auto_reply", "INTEGER", true},
    {"is_prepared", "INTEGER", true}, {"is_read", "INTEGER", true}, {"is_system_message", "INTEGER", true},
    {"is_sent", "INTEGER", true}, {"has_dd_results", "INTEGER", true}, {"is_service_message", "INTEGER", true},
    {"is_forward", "INTEGER", true}, {"was_downgraded", "INTEGER", true}, {"is_archive", "INTEGER", true},
    {"cache_has_attachments", "INTEGER", true}, {"cache_roomnames", "TEXT", false},
    {"was_data_detected", "INTEGER", true}, {"was_deduplicated", "INTEGER", true},
    // 38: later iOS versions
    {"is_audio_message", "INTEGER", true}, {"is_played", "INTEGER", true}, {"date_played", "INTEGER", false},
    {"item_type", "INTEGER", true}, {"other_handle", "INTEGER", true}, {"group_title", "TEXT", false},
    {"group_action_type", "INTEGER", true}, {"share_status", "INTEGER", false},
    {"share_direction", "INTEGER", false}, {"is_expirable", "INTEGER", true}, {"expire_state", "INTEGER", true},
    {"message_action_type", "INTEGER", true}, {"message_source", "INTEGER", true},
    // 51
    {"associated_message_guid", "STRING", false}, {"balloon_bundle_id", "STRING", false},
    {"payload_data", "BLOB", false}, {"associated_message_type", "INTEGER", true},
    {"expressive_send_style_id", "STRING", false}, {"associated_message_range_location", "INTEGER", true},
    {"associated_message_range_length", "INTEGER", true}, {"time_expressive_send_played", "INTEGER", true},
    {"message_summary_info", "BLOB", false},
    // 60
    {"ck_sync_state", "INTEGER", false}, {"ck_record_id", "TEXT", false}, {"ck_record_change_tag", "TEXT", false},
    {"destination_caller_id", "TEXT", false},
    // 64
    {"sr_server_change_token", "TEXT", true}, {"sr_ck_sync_state", "INTEGER", true},
    {"sr_ck_record_system_property_blob", "BLOB", true}, {"cloudkit_record_id", "TEXT", false},
    {"sr_cloudkit_record_id", "TEXT", false},
};

} // namespace

QList<_SqliteCol> ios6MessageColumns()
{
    QList<_SqliteCol> cols;
    for (const Column& c : kColumns) {
        const QString name = QLatin1String(c.name);
        cols.append(_SqliteCol(name, QLatin1String(c.type), name == QLatin1String("guid"), c.hasDefault,
                               name == QLatin1String("ROWID")));
    }
    return cols;
}

const QList<CarveLayout>& ios6MessageLayouts()
{
    static const QList<CarveLayout> layouts = [] {
        const QList<_SqliteCol> all = ios6MessageColumns();
        QList<CarveLayout> list;
        for (int n : {38, 51, 60, 64, 69})
            list.append(CarveLayout::fromColumns(all.mid(0, n)));
        return list;
    }();
    return layouts;
}
