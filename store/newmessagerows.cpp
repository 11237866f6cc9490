#include "newmessagerows.h"

namespace {

// The bitmap's cost is bounded by the rows read, so a sparse or hostile
// range of row ids costs no more than 4 bytes a row.
constexpr quint64 kBitsPerRow = 32;
constexpr quint64 kSmallRange = 1 << 16;

} // namespace

NewMessageRows::NewMessageRows(QHash<qint64, _MsgMessage*>& messages, qint64 firstRow, qint64 lastRow, qint64 rows)
    : m_messages(messages)
{
    if (!messages.isEmpty() || rows <= 0 || lastRow < firstRow)
        return;
    // Unsigned, so that the widest range of signed row ids cannot overflow.
    const quint64 range = quint64(lastRow) - quint64(firstRow) + 1;
    if (range == 0 || range > kBitsPerRow * quint64(rows) + kSmallRange)
        return;
    m_firstRow = firstRow;
    m_range = range;
    m_seen.assign(size_t((range + 63) / 64), 0);
    m_waiting.reserve(size_t(rows));
}

_MsgMessage*& NewMessageRows::place(qint64 rowId)
{
    if (!m_seen.empty()) {
        const quint64 bit = quint64(rowId) - quint64(m_firstRow);
        if (bit < m_range) {
            quint64& word = m_seen[size_t(bit / 64)];
            const quint64 mask = quint64(1) << (bit % 64);
            if (!(word & mask)) {
                word |= mask;
                m_waiting.emplace_back(rowId, nullptr);
                return m_waiting.back().second;
            }
        }
        // A repeat, or a row outside the range: the hash must answer.
        flush();
    }
    return m_messages[rowId];
}

void NewMessageRows::flush()
{
    for (const auto& [rowId, message] : m_waiting)
        if (message)
            m_messages.insert(rowId, message);
    m_waiting.clear();
}
