// Strings: UTF-16 text, converted to and from UTF-8 bytes.
#include "cfobject.h"
#include "cfstandin.h"
#include "byterange.h"

#include <QStringDecoder>

using namespace qscf;

namespace {

// The UTF-8 form of one code point into `out` (4 bytes at most); its length.
int encodeUtf8(char32_t c, uint8_t* out)
{
    if (c < 0x80) {
        out[0] = uint8_t(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = uint8_t(0xC0 | (c >> 6));
        out[1] = uint8_t(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = uint8_t(0xE0 | (c >> 12));
        out[1] = uint8_t(0x80 | ((c >> 6) & 0x3F));
        out[2] = uint8_t(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = uint8_t(0xF0 | (c >> 18));
    out[1] = uint8_t(0x80 | ((c >> 12) & 0x3F));
    out[2] = uint8_t(0x80 | ((c >> 6) & 0x3F));
    out[3] = uint8_t(0x80 | (c & 0x3F));
    return 4;
}

} // namespace

extern "C" {

CFTypeID CFStringGetTypeID(void)
{
    return CFTypeID(Kind::String);
}

CFIndex CFStringGetLength(CFStringRef string)
{
    auto s = as<String>(string, Kind::String);
    return s ? CFIndex(s->text.size()) : 0;
}

// Converts the code units of `range` one character at a time, stopping at
// the first one that does not fit the buffer (or that cannot be encoded when
// there is no loss byte); answers the number of code units converted.
CFIndex CFStringGetBytes(CFStringRef string, CFRange range, CFStringEncoding encoding, uint8_t lossByte,
                         Boolean /*isExternalRepresentation*/, uint8_t* buffer, CFIndex maxBufLen,
                         CFIndex* usedBufLen)
{
    auto s = as<String>(string, Kind::String);
    CFIndex used = 0;
    CFIndex i = range.location;
    const CFIndex size = s ? CFIndex(s->text.size()) : 0;
    if (s && encoding == kCFStringEncodingUTF8 && g_fitsIn(range.location, range.length, size)) {
        const QChar* units = s->text.constData();
        const CFIndex end = range.location + range.length;
        while (i < end) {
            uint8_t bytes[4];
            int n;
            CFIndex step = 1;
            const char16_t u = units[i].unicode();
            if (QChar::isHighSurrogate(u) && i + 1 < end && QChar::isLowSurrogate(units[i + 1].unicode())) {
                n = encodeUtf8(QChar::surrogateToUcs4(u, units[i + 1].unicode()), bytes);
                step = 2;
            } else if (QChar::isSurrogate(u)) {
                if (!lossByte)
                    break;
                bytes[0] = lossByte;
                n = 1;
            } else {
                n = encodeUtf8(u, bytes);
            }
            if (buffer) {
                if (n > maxBufLen - used)
                    break;
                std::copy(bytes, bytes + n, buffer + used);
            }
            used += n;
            i += step;
        }
    }
    if (usedBufLen)
        *usedBufLen = used;
    return s ? i - range.location : 0;
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const uint8_t* bytes, CFIndex numBytes, CFStringEncoding encoding,
                                    Boolean /*isExternalRepresentation*/)
{
    if (encoding != kCFStringEncodingUTF8 || numBytes < 0 || (!bytes && numBytes > 0))
        return nullptr;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(QByteArrayView(reinterpret_cast<const char*>(bytes), numBytes));
    if (decoder.hasError())
        return nullptr;
    return handle<CFStringRef>(new String(std::move(text)));
}

} // extern "C"
