#include "exportsmshtml.h"

#include "htmlencode.h"
#include "msgrecords.h"
#include "productinfo.h"

ExportSMSHtml::ExportSMSHtml(const QString& path)
    : m_file(path)
    , m_dates(DateTextFormatter::systemShort())
{
}

void ExportSMSHtml::init()
{
    m_file.open();
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
    m_block = QStringLiteral("<a name=\"sms");
    m_block += QString::number(message.ROWID);
    m_block += sent ? QLatin1StringView("\"></a><div style=\"color:#008040;font-size:16px;\"><div>")
                    : QLatin1StringView("\"></a><div style=\"color:#0000FF;font-size:16px;\"><div>");
    m_dates.appendTo(m_block, message.date);
    m_block += sent ? QLatin1StringView("</div><div>To: ") : QLatin1StringView("</div><div>From: ");
    m_block += g_htmlEncode(m_names.displayName(message.chat));
    m_block += QLatin1StringView("</div></div><div style=\"font-size:14px;\">");
    m_block += g_htmlEncode(message.summary());
    m_block += QLatin1StringView("</div><br/><br/>\n");
    m_file.write(m_block);
}

void ExportSMSHtml::uninit()
{
    m_file.write(QLatin1StringView("</body></html>"));
    m_file.commit();
}
