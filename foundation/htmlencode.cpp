#include "htmlencode.h"

QString g_htmlEncode(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '\r':
            if (i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                break; // the line feed that follows writes the break
            out += c;
            break;
        case '\n':
            out += QLatin1String("<br/>");
            break;
        default:
            out += c;
        }
    }
    return out;
}
