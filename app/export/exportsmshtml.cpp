#include "exportsmshtml.h"

#include "htmlencode.h"
#include "msgrecords.h"
#include "productinfo.h"

namespace {

// Most texts hold nothing to escape: they are appended as they are.
void appendEncoded(QString& out, const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '&' || u == '<' || u == '>' || u == '\n') {
            out += g_htmlEncode(text);
            return;
        }
    }
    out += text;
}

void appendDecimal(QString& out, qint64 value)
{
    char digits[24];
    int n = 0;
    quint64 v = value < 0 ? 0 - quint64(value) : quint64(value);
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (value < 0)
        out += QLatin1Char('-');
    while (n > 0)
        out += QLatin1Char(digits[--n]);
}

} // namespace

ExportSMSHtml::ExportSMSHtml(const QString& path)
    : MessageFileWriter(path, DateTextFormatter::systemShort())
{
}

void ExportSMSHtml::init()
{
    MessageFileWriter::init();
    m_file.write(QLatin1StringView(
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
        "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"
        "<html xmlns=\"http://www.w3.org/1999/xhtml\">"
        "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"
        "<title>"));
    m_file.write(g_productTitle());
    m_file.write(QLatin1StringView("</title></head><body>"));
}

// Each value is inserted once: nothing placed in the block is searched again.
void ExportSMSHtml::write(_MsgMessage& message)
{
    const bool sent = message.is_from_me != 0;
    m_block.resize(0); // keeps the room of the previous block
    m_block += QLatin1StringView("<a name=\"sms");
    appendDecimal(m_block, message.ROWID);
    m_block += sent ? QLatin1StringView("\"></a><div style=\"color:#008040;font-size:16px;\"><div>")
                    : QLatin1StringView("\"></a><div style=\"color:#0000FF;font-size:16px;\"><div>");
    m_dates.appendTo(m_block, message.date);
    m_block += sent ? QLatin1StringView("</div><div>To: ") : QLatin1StringView("</div><div>From: ");
    appendEncoded(m_block, m_names.displayName(message.chat));
    m_block += QLatin1StringView("</div></div><div style=\"font-size:14px;\">");
    appendEncoded(m_block, message.summary());
    m_block += QLatin1StringView("</div><br/><br/>\n");
    m_file.write(m_block);
}

void ExportSMSHtml::uninit()
{
    m_file.write(QLatin1StringView("</body></html>"));
    MessageFileWriter::uninit();
}
