// The conversation browser: pages of 50, page links, scrolling to a message,
// and the escaping of everything a database puts into the page.
#include <QScrollBar>
#include <QtTest>

#include "htmlencode.h"
#include "msgrecords.h"
#include "smsbrowser.h"

namespace {

// `count` received messages with row ids from `firstRowId`.
QList<_MsgMessage*> makeMessages(std::vector<std::unique_ptr<_MsgMessage>>& store, int count, qint64 firstRowId = 1)
{
    QList<_MsgMessage*> list;
    for (int i = 0; i < count; ++i) {
        store.push_back(std::make_unique<_MsgMessage>());
        store.back()->ROWID = firstRowId + i;
        store.back()->text = QStringLiteral("text %1").arg(i);
        list.append(store.back().get());
    }
    return list;
}

int anchorsIn(const QString& html)
{
    return int(html.count(QStringLiteral("<a name=\"sms_")));
}

} // namespace

class TestSmsBrowser : public QObject
{
    Q_OBJECT
private slots:
    void htmlEncode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("html");
        QTest::newRow("markup") << "<b>&</b>" << "&lt;b&gt;&amp;&lt;/b&gt;";
        QTest::newRow("entity escaped again") << "&amp;" << "&amp;amp;";
        QTest::newRow("line feed") << "a\nb" << "a<br/>b";
        QTest::newRow("crlf is one break") << "a\r\nb" << "a<br/>b";
        QTest::newRow("lone carriage return") << "a\rb" << "a\rb";
        QTest::newRow("quotes pass") << "\"'" << "\"'";
        QTest::newRow("empty") << "" << "";
    }

    void htmlEncode()
    {
        QFETCH(QString, text);
        QFETCH(QString, html);
        QCOMPARE(g_htmlEncode(text), html);
    }

    void pagesOfFifty_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("lastPageMessages");
        QTest::newRow("one") << 1 << 1 << 1;
        QTest::newRow("fifty") << 50 << 1 << 50;
        QTest::newRow("fifty-one") << 51 << 2 << 1;
        QTest::newRow("hundred twenty") << 120 << 3 << 20;
    }

    void pagesOfFifty()
    {
        QFETCH(int, count);
        QFETCH(int, pages);
        QFETCH(int, lastPageMessages);
        std::vector<std::unique_ptr<_MsgMessage>> store;
        const QList<_MsgMessage*> list = makeMessages(store, count);
        SmsBrowser browser;
        browser.showConversation(list);
        QCOMPARE(browser.pageCount(), pages);
        QCOMPARE(browser.currentPage(), 1);
        const QString first = SmsBrowser::pageHtml(list, 1, pages);
        QCOMPARE(anchorsIn(first), qMin(count, 50));
        QVERIFY(!first.contains(QStringLiteral("/pre_page")));
        QCOMPARE(first.contains(QStringLiteral("/next_page")), pages > 1);
        const QString last = SmsBrowser::pageHtml(list, pages, pages);
        QCOMPARE(anchorsIn(last), lastPageMessages);
        QVERIFY(!last.contains(QStringLiteral("/next_page")));
        QCOMPARE(last.contains(QStringLiteral("/pre_page")), pages > 1);
        QVERIFY(last.startsWith(QStringLiteral("<a name=\"start\"></a>")));
        QVERIFY(last.endsWith(QStringLiteral("<a name=\"end\"></a>")));
        QVERIFY(browser.toPlainText().contains(QStringLiteral("text 0")));
    }

    void pageLinksTurnPages()
    {
        std::vector<std::unique_ptr<_MsgMessage>> store;
        SmsBrowser browser;
        browser.showConversation(makeMessages(store, 120));
        QMetaObject::invokeMethod(&browser, "onAnchorClicked", Q_ARG(QUrl, QUrl(QStringLiteral("/pre_page"))));
        QCOMPARE(browser.currentPage(), 1);
        QMetaObject::invokeMethod(&browser, "onAnchorClicked", Q_ARG(QUrl, QUrl(QStringLiteral("/next_page"))));
        QCOMPARE(browser.currentPage(), 2);
        QVERIFY(browser.toPlainText().contains(QStringLiteral("text 50")));
        QVERIFY(!browser.toPlainText().contains(QStringLiteral("text 49\n")));
        browser.lastPage();
        QMetaObject::invokeMethod(&browser, "onAnchorClicked", Q_ARG(QUrl, QUrl(QStringLiteral("/next_page"))));
        QCOMPARE(browser.currentPage(), 3);
        QMetaObject::invokeMethod(&browser, "onAnchorClicked", Q_ARG(QUrl, QUrl(QStringLiteral("/pre_page"))));
        QCOMPARE(browser.currentPage(), 2);
        QCOMPARE(browser.textCursor().position(), browser.document()->characterCount() - 1); // at the end
        QMetaObject::invokeMethod(&browser, "onAnchorClicked", Q_ARG(QUrl, QUrl(QStringLiteral("http://x/next_page"))));
        QCOMPARE(browser.currentPage(), 3); // only the path counts
    }

    void scrollToPosShowsThePage_data()
    {
        QTest::addColumn<int>("pos");
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("last of page 1") << 49 << 1 << true;
        QTest::newRow("first of page 2") << 50 << 2 << true;
        QTest::newRow("last") << 119 << 3 << true;
        QTest::newRow("negative") << -1 << 1 << false;
        QTest::newRow("past the end") << 120 << 1 << false;
    }

    void scrollToPosShowsThePage()
    {
        QFETCH(int, pos);
        QFETCH(int, page);
        QFETCH(bool, scrolls);
        std::vector<std::unique_ptr<_MsgMessage>> store;
        SmsBrowser browser;
        browser.resize(400, 300);
        browser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&browser));
        browser.showConversation(makeMessages(store, 120, -5)); // negative row ids too
        browser.scrollToPos(pos);
        QCOMPARE(browser.currentPage(), page);
        const int before = browser.verticalScrollBar()->value();
        QCoreApplication::processEvents(); // the queued scroll
        if (scrolls && pos % 50 > 5)
            QVERIFY(browser.verticalScrollBar()->value() > before);
        if (scrolls)
            QVERIFY(browser.toHtml().contains(QStringLiteral("sms_%1").arg(pos - 5)));
    }

    void emptyConversationShowsNothing()
    {
        std::vector<std::unique_ptr<_MsgMessage>> store;
        SmsBrowser browser;
        browser.showConversation(makeMessages(store, 3));
        browser.showConversation({});
        QCOMPARE(browser.pageCount(), 0);
        QCOMPARE(browser.currentPage(), 0);
        QVERIFY(browser.toPlainText().isEmpty());
        browser.scrollToPos(0);
        browser.nextPage();
        QVERIFY(browser.toPlainText().isEmpty());
    }

    void clearHtmlKeepsCountersButForgetsMessages()
    {
        std::vector<std::unique_ptr<_MsgMessage>> store;
        SmsBrowser browser;
        browser.showConversation(makeMessages(store, 60));
        browser.clearHtml();
        QVERIFY(browser.messages().isEmpty());
        QCOMPARE(browser.pageCount(), 2);
        browser.nextPage(); // nothing left to render
        QVERIFY(browser.toPlainText().isEmpty());
    }

    // A right-to-left name beside a number would take the number into its
    // direction ("(971501234567+"): on such a line each name and number sits
    // in isolates; left-to-right lines are left as they are.
    void rightToLeftNamesKeepNumbersWhole_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("heading");
        const QChar fsi(0x2068), pdi(0x2069);
        const QString arabic = QStringLiteral("ليلى حداد");
        QTest::newRow("Arabic name") << arabic
                                     << QStringLiteral("From: %1%2%3 (%1+971501234567%3)").arg(fsi).arg(arabic).arg(pdi);
        QTest::newRow("Latin name") << QStringLiteral("Ann Lee") << QStringLiteral("From: Ann Lee (+971501234567)");
    }
    void rightToLeftNamesKeepNumbersWhole()
    {
        QFETCH(QString, name);
        QFETCH(QString, heading);
        _MsgHandle handle;
        handle.ROWID = 1;
        handle.id = QStringLiteral("+971501234567");
        handle._ct_name = name;
        _MsgChat chat;
        chat.handles.insert(QStringLiteral("1"), &handle);
        _MsgMessage m;
        m.ROWID = 7;
        m.text = QStringLiteral("hi");
        m.handle = &handle;
        m.chat = &chat;
        QVERIFY2(SmsBrowser::pageHtml({&m}, 1, 1).contains(heading), qPrintable(SmsBrowser::pageHtml({&m}, 1, 1)));
        SmsBrowser browser;
        browser.showConversation({&m});
        QVERIFY(browser.toPlainText().contains(heading));
        chat.handles.clear();
    }

    // Neither the text nor the correspondent's name can add markup or links.
    void namesAndTextsAreEscaped()
    {
        _MsgHandle handle;
        handle.id = QStringLiteral("<a href=\"http://evil.example/\">Ann</a>");
        _MsgChat chat;
        chat.handles.insert(QStringLiteral("1"), &handle);
        _MsgMessage m;
        m.ROWID = 7;
        m.text = QStringLiteral("1 < 2 & 3 > 2\nbye");
        m.handle = &handle;
        m.chat = &chat;
        m.is_from_me = 1;
        const QString html = SmsBrowser::pageHtml({&m}, 1, 1);
        QVERIFY(!html.contains(QStringLiteral("<a href")));
        QVERIFY(html.contains(QStringLiteral("&lt;a href=\"http://evil.example/\"&gt;Ann&lt;/a&gt;")));
        QVERIFY(html.contains(QStringLiteral("1 &lt; 2 &amp; 3 &gt; 2<br/>bye")));
        QVERIFY(html.contains(QStringLiteral("<table class=\"send\"")));
        QVERIFY(html.contains(QStringLiteral("To: ")));
        SmsBrowser browser;
        browser.showConversation({&m});
        QVERIFY(browser.toPlainText().contains(QStringLiteral("<a href=\"http://evil.example/\">Ann</a>")));
        QVERIFY(browser.toPlainText().contains(QStringLiteral("1 < 2 & 3 > 2")));
        chat.handles.clear();
    }
};

QTEST_MAIN(TestSmsBrowser)
#include "tst_smsbrowser.moc"
