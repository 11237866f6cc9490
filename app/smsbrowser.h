// The conversation pane: the messages of the message list, in the same
// order, rendered as HTML 50 to a page (sent on the right, received on the
// left) with links to the previous and the next page. Only the page shown is
// ever rendered. The messages belong to a source tree node's data; whoever
// releases them clears the browser first.
#pragma once

#include <QList>
#include <QTextBrowser>
#include <QTextDocument>

struct _MsgMessage;

class SmsBrowser : public QTextBrowser
{
    Q_OBJECT
public:
    static constexpr int kPageSize = 50;

    explicit SmsBrowser(QWidget* parent = nullptr);
    ~SmsBrowser() override;

    // From the first page; an empty list shows nothing and zeroes the counters.
    void showConversation(const QList<_MsgMessage*>& list);
    // Forgets the list and empties the view; the counters stay.
    void clearHtml();
    // Ignored unless 1 <= page <= pageCount(); leaves currentPage() alone.
    void gotoPage(int page);
    // The page that holds the message at `pos`, scrolled to its anchor once
    // laid out; positions outside the list are ignored.
    void scrollToPos(int pos);

    void firstPage();
    void previousPage();
    void nextPage();
    void lastPage();

    // The HTML of page `page` of `list`, as gotoPage sets it.
    static QString pageHtml(const QList<_MsgMessage*>& list, int page, int pageCount);

    const QList<_MsgMessage*>& messages() const { return m_messages; }
    int pageCount() const { return m_pageCount; }
    int currentPage() const { return m_currentPage; }

private slots:
    void onAnchorClicked(const QUrl& link);

private:
    void setHtmlQuietly(const QString& html);

    QList<_MsgMessage*> m_messages;
    QTextDocument m_document;
    int m_pageCount = 0;
    int m_currentPage = 0;
};
