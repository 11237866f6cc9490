#include "textpool.h"

QString TextPool::text(const Sqlite3Cursor& c, int position)
{
    const QByteArrayView utf8 = c.getUtf8(position);
    if (utf8.isNull())
        return QString();
    // Looked up without copying the bytes; copied only when kept.
    const auto it = m_texts.constFind(QByteArray::fromRawData(utf8.data(), utf8.size()));
    if (it != m_texts.constEnd())
        return *it;
    const QString text = QString::fromUtf8(utf8);
    if (m_texts.size() < kMaxTexts)
        m_texts.insert(utf8.toByteArray(), text);
    return text;
}
