#include "htmlencode.h"

void g_htmlEncodeTo(QString& out, const QString& text)
{
    const qsizetype n = text.size();
    const QChar* s = text.constData();
    qsizetype plain = 0; // start of the run not yet copied
    for (qsizetype i = 0; i < n; ++i) {
        QLatin1StringView entity;
        qsizetype skip = 1;
        switch (s[i].unicode()) {
        case '&': entity = QLatin1StringView("&amp;"); break;
        case '<': entity = QLatin1StringView("&lt;"); break;
        case '>': entity = QLatin1StringView("&gt;"); break;
        case '\n': entity = QLatin1StringView("<br/>"); break;
        case '\r':
            if (i + 1 < n && s[i + 1] == QLatin1Char('\n')) {
                entity = QLatin1StringView("<br/>");
                skip = 2;
                break;
            }
            continue;
        default:
            continue;
        }
        out.append(s + plain, i - plain);
        out.append(entity);
        i += skip - 1;
        plain = i + 1;
    }
    out.append(s + plain, n - plain);
}

QString g_htmlEncode(const QString& text)
{
    QString out;
    out.reserve(text.size());
    g_htmlEncodeTo(out, text);
    return out;
}
