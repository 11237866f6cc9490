#include "smsbrowser.h"

#include <QLocale>
#include <QTextCursor>
#include <QUrl>

#include "data_path_util.h"
#include "desktopopen.h"
#include "htmlencode.h"
#include "msgrecords.h"

namespace {

const char* const kStyleSheet =
    ".t{font-size:13px;padding:5px 10px} .c,.sc{font-size:14px;padding:5px 10px;background-color:#EEEEEE;}"
    ".send{/*background-color:#CEE0EC;*/} .send .t{color:#008040;}.rec{/*background-color:#F5FFE2;*/} "
    ".rec .t{color:#0000FF;}";

int pagesFor(qsizetype count)
{
    return int((count + SmsBrowser::kPageSize - 1) / SmsBrowser::kPageSize);
}

QString anchorName(const _MsgMessage& m)
{
    return QStringLiteral("sms_%1").arg(m.ROWID);
}

// One message: a heading row (date and correspondent) and a text row, each
// with an empty half on the side of the other party.
void appendMessage(QString& html, const _MsgMessage& m)
{
    const bool sent = m.is_from_me != 0;
    const QString empty = QStringLiteral("<td width=\"50%\" class=\"%1\"></td>");
    const QString heading = QStringLiteral("<td width=\"50%\" class=\"t\">%1<br/>%2 %3</td>")
                                .arg(QLocale::system().toString(dtFromDate21(m.date), QLocale::ShortFormat),
                                     sent ? QStringLiteral("To:") : QStringLiteral("From:"),
                                     g_htmlEncode(m.contactInfo()));
    const QString text = QStringLiteral("<td width=\"50%\" class=\"c\">%1</td>").arg(g_htmlEncode(m.summary()));
    html += QStringLiteral("<a name=\"%1\"></a>").arg(anchorName(m));
    html += QStringLiteral("<table class=\"%1\" width=\"100%\" cellpadding=\"0\" border=\"0\" cellspacing=\"0\">")
                .arg(sent ? QStringLiteral("send") : QStringLiteral("rec"));
    for (const auto& [side, cell] : {std::pair{QStringLiteral("st"), heading}, std::pair{QStringLiteral("sc"), text}}) {
        html += QStringLiteral("<tr>");
        html += sent ? empty.arg(side) + cell : cell + empty.arg(side);
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
}

} // namespace

SmsBrowser::SmsBrowser(QWidget* parent) : QTextBrowser(parent)
{
    m_document.setDefaultStyleSheet(QString::fromLatin1(kStyleSheet));
    setDocument(&m_document);
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &SmsBrowser::onAnchorClicked);
}

SmsBrowser::~SmsBrowser()
{
    // The document is a member: detach it before the base would look at it.
    setDocument(nullptr);
}

QString SmsBrowser::pageHtml(const QList<_MsgMessage*>& list, int page, int pageCount)
{
    const qsizetype first = qsizetype(page - 1) * kPageSize;
    const qsizetype end = qMin(first + kPageSize, list.size());
    QString html = QStringLiteral("<a name=\"start\"></a>");
    if (page != 1)
        html += QStringLiteral("<p><a href=\"/pre_page\">&lt;&lt;Previous Page</a></p>");
    for (qsizetype i = first; i < end; ++i)
        appendMessage(html, *list.at(i));
    if (page != pageCount)
        html += QStringLiteral("<p><a href=\"/next_page\">&gt;&gt;Next Page</a></p>");
    html += QStringLiteral("<a name=\"end\"></a>");
    return html;
}

void SmsBrowser::showConversation(const QList<_MsgMessage*>& list)
{
    m_messages = list;
    if (list.isEmpty()) {
        m_pageCount = 0;
        m_currentPage = 0;
        clearHtml();
        return;
    }
    m_pageCount = pagesFor(list.size());
    m_currentPage = 1;
    gotoPage(1);
    moveCursor(QTextCursor::Start);
}

void SmsBrowser::clearHtml()
{
    m_messages.clear();
    setHtmlQuietly(QString());
}

void SmsBrowser::gotoPage(int page)
{
    if (page < 1 || page > m_pageCount || m_messages.isEmpty())
        return;
    setHtmlQuietly(pageHtml(m_messages, page, m_pageCount));
}

void SmsBrowser::scrollToPos(int pos)
{
    if (pos < 0 || pos >= m_messages.size())
        return;
    const int page = pos / kPageSize + 1;
    if (page != m_currentPage) {
        m_currentPage = page;
        gotoPage(page);
    }
    // Once the page just set is laid out.
    QMetaObject::invokeMethod(
        this, [this, anchor = anchorName(*m_messages.at(pos))] { scrollToAnchor(anchor); }, Qt::QueuedConnection);
}

void SmsBrowser::firstPage()
{
    m_currentPage = 1;
    gotoPage(1);
    moveCursor(QTextCursor::Start);
}

void SmsBrowser::previousPage()
{
    if (m_currentPage < 2)
        return;
    gotoPage(--m_currentPage);
    moveCursor(QTextCursor::End);
}

void SmsBrowser::nextPage()
{
    if (m_currentPage >= m_pageCount)
        return;
    gotoPage(++m_currentPage);
    moveCursor(QTextCursor::Start);
}

void SmsBrowser::lastPage()
{
    m_currentPage = m_pageCount;
    gotoPage(m_pageCount);
    moveCursor(QTextCursor::End);
}

void SmsBrowser::onAnchorClicked(const QUrl& link)
{
    const QString path = link.path();
    if (path == QLatin1String("/pre_page"))
        previousPage();
    else if (path == QLatin1String("/next_page"))
        nextPage();
    else if (link.isLocalFile())
        g_openFolderOrTell(link.toLocalFile());
}

void SmsBrowser::setHtmlQuietly(const QString& html)
{
    setUpdatesEnabled(false);
    setHtml(html);
    setUpdatesEnabled(true);
}
