#include "emojireplace.h"

#include <algorithm>
#include <array>

QString rx_replace(const QString& text, const QRegularExpression& rx, RxReplacer replacer, void* context)
{
    QString out;
    qsizetype pos = 0;
    while (pos <= text.size()) {
        const QRegularExpressionMatch m = rx.match(text, pos);
        if (!m.hasMatch())
            break;
        out.append(QStringView(text).mid(pos, m.capturedStart() - pos));
        out.append(replacer(context, m));
        pos = m.capturedEnd();
        if (m.capturedLength() == 0) {
            if (pos < text.size())
                out.append(text.at(pos));
            ++pos;
        }
    }
    if (pos < text.size())
        out.append(QStringView(text).mid(pos));
    return out;
}

namespace {

// The pictographic symbols of the Basic Multilingual Plane that the first
// pass takes besides the private-use range U+E000..U+E537. Sorted.
constexpr std::array<char16_t, 44> kSymbols = {
    0x203C, 0x2049, 0x2139, 0x2194, 0x2195, 0x21A9, 0x21AA, 0x231A, 0x231B, 0x23EB, 0x23EC,
    0x23F0, 0x23F3, 0x24C2, 0x25AA, 0x25AB, 0x25FB, 0x25FC, 0x25FD, 0x25FE, 0x2611, 0x267B,
    0x2693, 0x26AA, 0x26AB, 0x26C5, 0x26D4, 0x2705, 0x2709, 0x270F, 0x2712, 0x2714, 0x2744,
    0x2747, 0x274E, 0x2795, 0x2796, 0x2797, 0x27B0, 0x2934, 0x2935, 0x2B1B, 0x2B1C, 0x3030};

bool isSingleUnitEmoji(char16_t u)
{
    if (u < kSymbols.front())
        return false; // most text: nothing to look up
    return (u >= 0xE000 && u <= 0xE537) || std::binary_search(kSymbols.begin(), kSymbols.end(), u);
}

bool isEmojiLead(char16_t u)
{
    return u == 0xD83C || u == 0xD83D;
}

QString hexCode(uint value)
{
    return QString::number(value, 16).toUpper();
}

// Lead and trail unit to the code point. A unit after the lead that is not a
// trail unit contributes its low ten bits, so the code stays in range.
uint pairCodePoint(char16_t lead, char16_t trail)
{
    return ((uint(lead - 0xD800) << 10) | (uint(trail - 0xDC00) & 0x3FF)) + 0x10000;
}

// Texts without an emoji, the common case, come back shared and uncopied.
QString replaceSingleUnits(const QString& text, EmojiHandler handler, void* context)
{
    const qsizetype n = text.size();
    const QChar* s = text.constData();
    qsizetype i = 0;
    while (i < n && !isSingleUnitEmoji(s[i].unicode()))
        ++i;
    if (i == n)
        return text;
    QString out;
    out.reserve(n);
    out.append(s, i);
    for (; i < n; ++i) {
        if (isSingleUnitEmoji(s[i].unicode()))
            out.append(handler(context, hexCode(s[i].unicode())));
        else
            out.append(s[i]);
    }
    return out;
}

QString replacePairs(const QString& text, EmojiHandler handler, void* context)
{
    const qsizetype n = text.size();
    const QChar* s = text.constData();
    qsizetype i = 0;
    while (i < n && !(isEmojiLead(s[i].unicode()) && i + 1 < n))
        ++i;
    if (i == n)
        return text;
    QString out;
    out.reserve(n);
    out.append(s, i);
    for (; i < n; ++i) {
        const char16_t u = s[i].unicode();
        if (isEmojiLead(u) && i + 1 < n) {
            out.append(handler(context, hexCode(pairCodePoint(u, s[i + 1].unicode()))));
            ++i;
        } else {
            out.append(s[i]);
        }
    }
    return out;
}

} // namespace

QString emoji_replace(const QString& text, EmojiHandler handler, void* context)
{
    if (!handler)
        return text;
    return replacePairs(replaceSingleUnits(text, handler, context), handler, context);
}
