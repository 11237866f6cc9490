#include "messagecolumns.h"

#include <limits>

namespace {

using M = _MsgMessage;
using C = MessageColumn;

constexpr C number(const char* name, int M::*field, int flags = 0)
{
    return {name, C::Int, flags, field, nullptr, nullptr, nullptr, nullptr};
}
constexpr C date(const char* name, int M::*field)
{
    return {name, C::Date, 0, field, nullptr, nullptr, nullptr, nullptr};
}
constexpr C text(const char* name, QString M::*field, int flags = 0)
{
    return {name, C::Text, flags, nullptr, field, nullptr, nullptr, nullptr};
}
constexpr C rare(const char* name, C::Kind kind, RareText M::*field, int flags = 0)
{
    return {name, kind, flags, nullptr, nullptr, nullptr, nullptr, field};
}
constexpr C shared(const char* name, QString M::*field, int flags = 0)
{
    return {name, C::SharedText, flags, nullptr, field, nullptr, nullptr, nullptr};
}

const C kColumns[] = {
    text("guid", &M::guid),
    text("text", &M::text),
    number("replace", &M::replace),
    rare("service_center", C::SharedText, &M::service_center, C::SkipEmptyText),
    {"handle_id", C::Int64, C::RowLink, nullptr, nullptr, &M::handle_id, nullptr, nullptr},
    rare("subject", C::Text, &M::subject, C::SkipEmptyText),
    shared("country", &M::country, C::SkipEmptyText),
    {"attributedBody", C::Blob, 0, nullptr, nullptr, nullptr, &M::attributedBody, nullptr},
    number("version", &M::version),
    number("type", &M::type),
    shared("service", &M::service),
    shared("account", &M::account),
    shared("account_guid", &M::account_guid),
    number("error", &M::error),
    date("date", &M::date),
    date("date_read", &M::date_read),
    date("date_delivered", &M::date_delivered),
    number("is_delivered", &M::is_delivered),
    number("is_finished", &M::is_finished),
    number("is_emote", &M::is_emote),
    number("is_from_me", &M::is_from_me),
    number("is_empty", &M::is_empty),
    number("is_delayed", &M::is_delayed),
    number("is_auto_reply", &M::is_auto_reply),
    number("is_prepared", &M::is_prepared),
    number("is_read", &M::is_read),
    number("is_system_message", &M::is_system_message),
    number("is_sent", &M::is_sent),
    number("has_dd_results", &M::has_dd_results),
    number("is_service_message", &M::is_service_message),
    number("is_forward", &M::is_forward),
    number("was_downgraded", &M::was_downgraded),
    number("is_archive", &M::is_archive),
    number("cache_has_attachments", &M::cache_has_attachments),
    shared("cache_roomnames", &M::cache_roomnames),
    number("was_data_detected", &M::was_data_detected),
    number("was_deduplicated", &M::was_deduplicated),
    number("is_audio_message", &M::is_audio_message, C::Later),
    number("is_played", &M::is_played, C::Later),
    number("date_played", &M::date_played, C::Later),
    number("item_type", &M::item_type, C::Later),
    number("other_handle", &M::other_handle, C::Later | C::RowLink),
    rare("group_title", C::Text, &M::group_title, C::Later | C::SkipEmptyText),
    number("group_action_type", &M::group_action_type, C::Later),
    number("share_status", &M::share_status, C::Later),
    number("share_direction", &M::share_direction, C::Later),
    number("is_expirable", &M::is_expirable, C::Later),
    number("expire_state", &M::expire_state, C::Later),
    number("message_action_type", &M::message_action_type, C::Later),
};

} // namespace

MessageColumnList messageColumns()
{
    return {std::begin(kColumns), std::end(kColumns)};
}

int readMessageDate(const Sqlite3Cursor& c, int column, bool nanoseconds)
{
    return messageDate(c.getInt64(column), nanoseconds);
}

int messageDate(qint64 value, bool nanoseconds)
{
    if (nanoseconds)
        value /= 1000000000;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return 0;
    return int(value);
}

MessageRowReader::MessageRowReader(const Sqlite3Cursor& c, bool withLater, bool nanosecondDates)
    : c(c), nanoseconds(nanosecondDates), rowid(c.column(QStringLiteral("rowid")))
{
    for (const MessageColumn& col : messageColumns()) {
        if (col.has(MessageColumn::Later) && !withLater)
            continue;
        const int at = c.column(QLatin1String(col.name));
        switch (col.kind) {
        case MessageColumn::Int:
            ints.push_back({at, col.intField});
            break;
        case MessageColumn::Date:
            dates.push_back({at, col.intField});
            break;
        case MessageColumn::Text:
            if (col.textField)
                texts.push_back({at, col.textField});
            else
                rareTexts.push_back({at, col.rareField});
            break;
        case MessageColumn::SharedText:
            if (col.textField)
                sharedTexts.push_back({at, col.textField});
            else
                rareSharedTexts.push_back({at, col.rareField});
            break;
        case MessageColumn::Int64:
            int64s.push_back({at, col.int64Field});
            break;
        case MessageColumn::Blob:
            blobs.push_back({at, col.blobField});
            break;
        }
    }
    for (const auto* list : {&ints, &dates})
        for (const At<int>& a : *list)
            numberPositions.push_back(a.position);
    numbers.resize(numberPositions.size());
}

void MessageRowReader::read(_MsgMessage& msg)
{
    msg.ROWID = c.getInt64(rowid);
    for (const At<QString>& a : texts) {
        const QByteArrayView text = c.getUtf8(a.position);
        msg.*a.field = text.isNull() ? QString() : arena.utf8(text);
    }
    for (const At<RareText>& a : rareTexts)
        msg.*a.field = c.getText(a.position); // a null text takes no room
    for (const At<QString>& a : sharedTexts)
        msg.*a.field = pool.text(c, a.position);
    for (const At<RareText>& a : rareSharedTexts)
        msg.*a.field = pool.text(c, a.position); // a null text takes no room
    c.getInt64s(numberPositions.data(), numbers.data(), qsizetype(numbers.size()));
    const qint64* number = numbers.data();
    for (const At<int>& a : ints)
        msg.*a.field = int(*number++);
    for (const At<int>& a : dates)
        msg.*a.field = messageDate(*number++, nanoseconds);
    for (const At<qint64>& a : int64s)
        msg.*a.field = c.getInt64(a.position);
    for (const At<QByteArray>& a : blobs)
        msg.*a.field = c.getBlob(a.position);
}

bool messageSetsColumn(const MessageColumn& col, const _MsgMessage& msg)
{
    switch (col.kind) {
    case MessageColumn::Text:
    case MessageColumn::SharedText:
        return !col.has(MessageColumn::SkipEmptyText) || !col.text(msg).isEmpty();
    case MessageColumn::Blob:
        return !(msg.*col.blobField).isEmpty();
    default:
        return true;
    }
}

namespace {
qint64 storedDate(int seconds, bool nanoseconds)
{
    return nanoseconds ? qint64(seconds) * 1000000000 : seconds;
}
} // namespace

void setMessageColumn(Sqlite3Insert& insert, int position, const MessageColumn& col, const _MsgMessage& msg,
                      bool nanosecondDates)
{
    if (!messageSetsColumn(col, msg))
        return;
    switch (col.kind) {
    case MessageColumn::Int:
        insert.setInt64(position, msg.*col.intField);
        break;
    case MessageColumn::Date:
        insert.setInt64(position, storedDate(msg.*col.intField, nanosecondDates));
        break;
    case MessageColumn::Text:
    case MessageColumn::SharedText:
        insert.setText(position, col.text(msg));
        break;
    case MessageColumn::Int64:
        insert.setInt64(position, msg.*col.int64Field);
        break;
    case MessageColumn::Blob:
        insert.setBlob(position, msg.*col.blobField);
        break;
    }
}

Sqlite3Row messageRow(const _MsgMessage& msg, bool nanosecondDates, const std::function<bool(const char*)>& tableHas)
{
    Sqlite3Row row;
    for (const MessageColumn& col : messageColumns()) {
        if ((col.has(MessageColumn::Later) && !tableHas(col.name)) || !messageSetsColumn(col, msg))
            continue;
        const QLatin1String name(col.name);
        switch (col.kind) {
        case MessageColumn::Int:
            row[name] = msg.*col.intField;
            break;
        case MessageColumn::Date:
            row[name] = nanosecondDates ? QVariant(storedDate(msg.*col.intField, true)) : QVariant(msg.*col.intField);
            break;
        case MessageColumn::Text:
        case MessageColumn::SharedText:
            row[name] = col.text(msg);
            break;
        case MessageColumn::Int64:
            row[name] = msg.*col.int64Field;
            break;
        case MessageColumn::Blob:
            row[name] = msg.*col.blobField;
            break;
        }
    }
    return row;
}
