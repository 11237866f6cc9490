#include "olderlocaldbfixture.h"

#include "sqlfixture.h"

#include <utility>

namespace OlderLocalDbFixture {

namespace {

QByteArray encipher(const QByteArray& text)
{
    static const QByteArray key("C60E2B9F4A1D73E58B0F6A2D9C4E1B37");
    unsigned char s[256];
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + static_cast<unsigned char>(key[i % key.size()])) & 0xFF;
        std::swap(s[i], s[j]);
    }
    QByteArray out = text;
    for (int n = 0, i = 0, j = 0; n < out.size(); ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        out[n] = char(out[n] ^ s[(s[i] + s[j]) & 0xFF]);
    }
    return out;
}

QString quoted(QString text)
{
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'');
}

QString bodyLiteral(const QVariant& body)
{
    if (body.isNull())
        return QStringLiteral("NULL");
    const QByteArray bytes = body.typeId() == QMetaType::QString ? encipher(body.toString().toUtf8()) : body.toByteArray();
    return QStringLiteral("X'%1'").arg(QString::fromLatin1(bytes.toHex()));
}

} // namespace

void create(const QString& path, const QList<Row>& rows)
{
    // The older files kept more columns than the reader takes.
    QString sql = QStringLiteral(
        "create table sms (id integer primary key, address text, body blob, person text, date integer,"
        " is_send integer, unused text);"
        "create view view_sms as select id, address, body, person, date, is_send from sms;");
    for (const Row& row : rows)
        sql += QStringLiteral("insert into sms (address, body, person, date, is_send, unused)"
                              " values (%1, %2, %3, %4, %5, 'x');")
                   .arg(quoted(row.address), bodyLiteral(row.body), quoted(row.person))
                   .arg(row.date)
                   .arg(row.isSend);
    SqlFixture::build(path, sql);
}

void createWithoutView(const QString& path)
{
    SqlFixture::build(path, QStringLiteral("create table sms (address text, body blob);"));
}

} // namespace OlderLocalDbFixture
