#include "olderlocaldb.h"

#include <array>
#include <cstdint>
#include <utility>

#include "countryinfo.h"
#include "msgidentifiers.h"

const char OlderLocalDb::kBodyKey[] = "C60E2B9F4A1D73E58B0F6A2D9C4E1B37";

namespace {

// Seconds from 1970-01-01 to 2001-01-01.
constexpr std::uint32_t kUnixTo2001 = 978307200u;

} // namespace

QByteArray g_rc4(const QByteArray& key, const QByteArray& bytes)
{
    Q_ASSERT(!key.isEmpty() && key.size() <= 256);
    std::array<std::uint8_t, 256> s;
    for (int i = 0; i < 256; ++i)
        s[i] = std::uint8_t(i);
    std::uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = std::uint8_t(j + s[i] + std::uint8_t(key[i % key.size()]));
        std::swap(s[i], s[j]);
    }
    QByteArray out(bytes.size(), Qt::Uninitialized);
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    for (qsizetype n = 0; n < bytes.size(); ++n) {
        a = std::uint8_t(a + 1);
        b = std::uint8_t(b + s[a]);
        std::swap(s[a], s[b]);
        out[n] = char(std::uint8_t(bytes[n]) ^ s[std::uint8_t(s[a] + s[b])]);
    }
    return out;
}

OlderLocalDb::OlderLocalDb(const QString& path) : m_path(path) {}

void OlderLocalDb::open()
{
    m_db.openThrow(m_path, Sqlite3DB::ReadWrite);
}

void OlderLocalDb::queryRows()
{
    m_rows = m_db.queryThrow(Sqlite3Sql("select * from view_sms"));
}

int OlderLocalDb::count()
{
    return m_rows.count();
}

bool OlderLocalDb::next(OlderLocalDbMessage& row)
{
    if (!m_rows.moveNext())
        return false;
    const QByteArray body = m_rows.isNull(QStringLiteral("body")) ? QByteArray()
                                                                   : m_rows.getBlob(QStringLiteral("body"));
    fill(row, m_rows.getText(QStringLiteral("address")), body, m_rows.getText(QStringLiteral("person")),
         m_rows.getInt(QStringLiteral("date")), m_rows.getInt(QStringLiteral("is_send")));
    return true;
}

void OlderLocalDb::close()
{
    m_rows = Sqlite3Cursor();
    m_db.close();
}

void OlderLocalDb::fill(OlderLocalDbMessage& row, const QString& address, const QByteArray& body,
                        const QString& person, int date, int isSend)
{
    // No country: only the cleaning of the number applies.
    const QString id = _CountryInfo().formatNumber(address);

    _MsgHandle& h = row.handle;
    h = _MsgHandle();
    h.id = id;
    h._ct_name = person;

    _MsgChat& c = row.chat;
    c = _MsgChat();
    c.guid = QStringLiteral("SMS;-;") + id;
    c.chat_identifier = id;
    c.handles.insert(id, &h);

    _MsgMessage& m = row.message;
    m = _MsgMessage();
    m.text = body.isEmpty() ? QString() : QString::fromUtf8(g_rc4(QByteArray(kBodyKey), body));
    m.service = QStringLiteral("SMS");
    m.account = QStringLiteral("e:");
    // Unsigned, so that dates near the ends of the range wrap as they did
    // when the files were written rather than overflow.
    m.date = int(std::uint32_t(date) - kUnixTo2001);
    m.date_read = m.date;
    m.date_delivered = m.date;
    m.is_finished = 1;
    m.is_from_me = isSend != 0 ? 1 : 0;
    m.is_prepared = 1;
    m.is_read = 1;
    m.is_sent = 1;
    m.was_data_detected = 1;
    m.handle = &h;
    m.chat = &c;
    m.guid = hashUUID(m.logicalHash().toUtf8());
}
