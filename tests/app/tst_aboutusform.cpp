// The about box: its layout (labels at their places, as wide as their texts), the product line, the rights line of the
// current year, the home-page link (and the box that gives its address when no browser takes it), the picture, and OK
// on press.
#include "aboutusform.h"
#include "data_path_util.h"
#include "modalwatcher.h"
#include "translation.h"

#include <QDate>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

class TestAboutUsForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void layout_data();
    void layout();
    void labelsHoldTheirTexts();
    void texts();
    void homePageLinkOpensOrTells_data();
    void homePageLinkOpensOrTells();
    void okAcceptsOnPress();
};

void TestAboutUsForm::initTestCase()
{
    QVERIFY(installEnglishTranslation(qApp));
}

void TestAboutUsForm::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("picApp") << "picApp" << QRect(20, 40, 64, 64);
    QTest::newRow("lbTitle") << "lbTitle" << QRect(20, 10, 121, 16);
    QTest::newRow("lbProduct") << "lbProduct" << QRect(100, 48, 281, 31);
    QTest::newRow("lbCopyRight") << "lbCopyRight" << QRect(100, 80, 221, 16);
    QTest::newRow("lbHomePage") << "lbHomePage" << QRect(20, 120, 201, 16);
    QTest::newRow("btnOK") << "btnOK" << QRect(160, 160, 75, 23);
}

void TestAboutUsForm::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    AboutUsForm form(nullptr);
    QCOMPARE(form.objectName(), QString("AboutUsForm"));
    QCOMPARE(form.height(), 194);
    QVERIFY(form.width() >= 400);
    QCOMPARE(form.windowFlags(), Qt::Dialog | Qt::FramelessWindowHint);
    QVERIFY(!form.styleSheet().isEmpty());
    auto* widget = form.findChild<QWidget*>(name);
    QVERIFY(widget);
    if (name == QLatin1String("btnOK")) {
        QCOMPARE(widget->size(), geometry.size());
        QCOMPARE(widget->y(), geometry.y());
        QCOMPARE(widget->geometry().center().x(), form.rect().center().x()); // kept in the middle
        return;
    }
    QCOMPARE(widget->pos(), geometry.topLeft());
    QVERIFY(widget->width() >= geometry.width());
    QVERIFY(widget->height() >= geometry.height());
}

// No text is cut: each one-line label is at least as wide as its text and
// lies inside the box; the wrapped product line has the height it needs.
void TestAboutUsForm::labelsHoldTheirTexts()
{
    AboutUsForm form(nullptr);
    form.show();
    QCOMPARE(form.windowTitle(), QString("About"));
    for (const char* name : {"lbTitle", "lbCopyRight", "lbHomePage"}) {
        auto* label = form.findChild<QLabel*>(name);
        QVERIFY2(label->width() >= label->sizeHint().width(), name);
        QVERIFY2(form.rect().contains(label->geometry()), name);
    }
    auto* product = form.findChild<QLabel*>("lbProduct");
    QVERIFY(product->height() >= product->heightForWidth(product->width()));
    QVERIFY(form.rect().contains(product->geometry()));
}

void TestAboutUsForm::texts()
{
    AboutUsForm form(nullptr);
    QCOMPARE(form.findChild<QLabel*>("lbTitle")->text(), QString("About"));
    auto* product = form.findChild<QLabel*>("lbProduct");
    QCOMPARE(product->text(), QString("Quillsprout Chatterquay for Mac v2.14.32"));
    QVERIFY(product->wordWrap());
    QVERIFY(form.findChild<QLabel*>("lbCopyRight")->text().contains(QString::number(QDate::currentDate().year())));
    auto* home = form.findChild<QLabel*>("lbHomePage");
    QVERIFY(home->text().contains(QString("href=\"%1\"").arg(AboutUsForm::homePageUrl())));
    QVERIFY(AboutUsForm::homePageUrl().startsWith("http://"));

    auto* view = form.findChild<QGraphicsView*>("picApp");
    QCOMPARE(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(view->scene());
    QCOMPARE(view->scene()->items().size(), 1);
    QCOMPARE(view->scene()->itemsBoundingRect().height(), 64.0);
}

namespace {
QList<QUrl> g_opened;
} // namespace

// The link goes to the desktop opener that every other link goes to; when
// nothing opens it, a box gives the address as text to copy.
void TestAboutUsForm::homePageLinkOpensOrTells_data()
{
    QTest::addColumn<bool>("browser");
    QTest::newRow("a browser answers") << true;
    QTest::newRow("no browser answers") << false;
}

void TestAboutUsForm::homePageLinkOpensOrTells()
{
    QFETCH(bool, browser);
    g_opened.clear();
    if (browser)
        g_setDesktopOpener([](const QUrl& url) { g_opened.append(url); return true; });
    else
        g_setDesktopOpener([](const QUrl&) { return false; });
    ModalWatcher watcher;
    {
        AboutUsForm form(nullptr);
        auto* home = form.findChild<QLabel*>("lbHomePage");
        QVERIFY(!home->openExternalLinks());
        QVERIFY(home->textInteractionFlags() & Qt::LinksAccessibleByMouse);
        form.show();
        // A click on the link, as the label reports it.
        const QString href = AboutUsForm::homePageUrl();
        emit home->linkActivated(href);
    }
    g_setDesktopOpener(nullptr);
    if (browser) {
        QCOMPARE(g_opened, QList<QUrl>{QUrl(AboutUsForm::homePageUrl())});
        QVERIFY(watcher.shown().isEmpty());
        return;
    }
    QCOMPARE(watcher.shown().size(), 1);
    const ModalWatcher::ShownBox& box = watcher.shown().first();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QVERIFY2(box.text.contains(AboutUsForm::homePageUrl()), qPrintable(box.text));
    QVERIFY2(box.text.contains(QStringLiteral("You can copy")), qPrintable(box.text));
}

void TestAboutUsForm::okAcceptsOnPress()
{
    AboutUsForm form(nullptr);
    QTimer::singleShot(0, &form, [&form] { emit form.findChild<QPushButton*>("btnOK")->pressed(); });
    QCOMPARE(form.exec(), int(QDialog::Accepted));
}

QTEST_MAIN(TestAboutUsForm)
#include "tst_aboutusform.moc"
