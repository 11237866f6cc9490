#include "textpool.h"

QString TextPool::text(const Sqlite3Cursor& c, int position)
{
    const QByteArrayView utf8 = c.getUtf8(position);
    if (utf8.isNull())
        return QString();
    Last* last = nullptr;
    if (position >= 0 && position < kMaxColumns) {
        if (size_t(position) >= m_last.size())
            m_last.resize(size_t(position) + 1);
        last = &m_last[size_t(position)];
        if (!last->text.isNull() && QByteArrayView(last->utf8) == utf8)
            return last->text;
    }
    QString text;
    // Looked up without copying the bytes; copied only when kept.
    const auto it = m_texts.constFind(QByteArray::fromRawData(utf8.data(), utf8.size()));
    if (it != m_texts.constEnd()) {
        text = *it;
    } else {
        text = QString::fromUtf8(utf8);
        if (m_texts.size() < kMaxTexts)
            m_texts.insert(utf8.toByteArray(), text);
    }
    if (last) {
        last->utf8 = utf8.toByteArray();
        last->text = text;
    }
    return text;
}
