// Message boxes and the error report, checked at a local HTTP server.
#include "localhttpserver.h"
#include "makerserver.h"
#include "modalwatcher.h"
#include "tips.h"

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QTest>
#include <QTimer>

namespace {
const QByteArray kProdField = "UXVpbGxzcHJvdXQgQ2hhdHRlcnF1YXkgZm9yIE1hYw--";
const QByteArray kVerField = "Mi4xNC4zMig2MCk-";

// The parent of each message box, as it shows.
class BoxParentSpy : public QObject
{
public:
    BoxParentSpy() { qApp->installEventFilter(this); }
    ~BoxParentSpy() override { qApp->removeEventFilter(this); }
    QList<const QWidget*> parents;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* box = qobject_cast<QMessageBox*>(watched))
                parents.append(box->parentWidget());
        return false;
    }
};
}

class TstTips : public QObject
{
    Q_OBJECT
private slots:
    void base64Variant_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("no padding") << "abc" << "YWJj";
        QTest::newRow("padding becomes dashes") << "a" << "YQ--";
        QTest::newRow("slash becomes bang") << "???" << "Pz8!";
        QTest::newRow("plus stays") << "~~~" << "fn5+";
        QTest::newRow("version field") << "2.14.32(60)" << "Mi4xNC4zMig2MCk-";
        QTest::newRow("empty") << "" << "";
    }
    void base64Variant()
    {
        QFETCH(QString, text);
        QFETCH(QString, encoded);
        QCOMPARE(base64_var(text), encoded);
    }

    void makerServer_data()
    {
        QTest::addColumn<QByteArray>("env");
        QTest::addColumn<QString>("url");
        QTest::newRow("default") << QByteArray() << "http://quillsprout.example/adv.php?pid=1";
        QTest::newRow("override") << QByteArray("127.0.0.1:8080") << "http://127.0.0.1:8080/adv.php?pid=1";
        QTest::newRow("host only") << QByteArray("example.org") << "http://example.org/adv.php?pid=1";
        QTest::newRow("bad port") << QByteArray("example.org:x") << "http://example.org/adv.php?pid=1";
    }
    void makerServer()
    {
        QFETCH(QByteArray, env);
        QFETCH(QString, url);
        const QByteArray saved = qgetenv("QUILLSPROUT_SERVER");
        if (env.isEmpty())
            qunsetenv("QUILLSPROUT_SERVER");
        else
            qputenv("QUILLSPROUT_SERVER", env);
        QCOMPARE(g_makerServerUrl(QStringLiteral("/adv.php?pid=1")).toString(), url);
        qputenv("QUILLSPROUT_SERVER", saved);
    }

    void boxes_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("buttons");
        QTest::newRow("info") << 0 << int(QMessageBox::Information) << int(QMessageBox::Ok);
        QTest::newRow("warning") << 1 << int(QMessageBox::Warning) << int(QMessageBox::Ok);
        QTest::newRow("question") << 2 << int(QMessageBox::Question) << int(QMessageBox::Yes | QMessageBox::No);
    }
    void boxes()
    {
        QFETCH(int, kind);
        QFETCH(int, icon);
        QFETCH(int, buttons);
        ModalWatcher watcher;
        const QString text = QStringLiteral("Hello <b>there</b>");
        if (kind == 0)
            Tips::info(text);
        else if (kind == 1)
            Tips::warning(text);
        else
            Tips::question(text);
        QCOMPARE(watcher.shown().size(), 1);
        const ModalWatcher::ShownBox& box = watcher.shown().first();
        QCOMPARE(int(box.icon), icon);
        QCOMPARE(int(box.buttons), buttons);
        QCOMPARE(box.text, text);
        QCOMPARE(box.title, QStringLiteral("Quillsprout Chatterquay for Mac"));
        QVERIFY(box.flags.testFlag(Qt::FramelessWindowHint));
        QVERIFY(box.styled);
    }

    void question_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("result");
        QTest::newRow("yes") << int(QMessageBox::Yes) << true;
        QTest::newRow("no") << int(QMessageBox::No) << false;
        QTest::newRow("escape") << int(QMessageBox::NoButton) << false;
    }
    void question()
    {
        QFETCH(int, answer);
        QFETCH(bool, result);
        ModalWatcher watcher;
        watcher.answer(QMessageBox::StandardButton(answer));
        QCOMPARE(Tips::question(QStringLiteral("Go on?")), result);
    }

    void showMessageBoxButtons()
    {
        ModalWatcher watcher;
        watcher.answer(QMessageBox::Cancel);
        QCOMPARE(g_showMessageBox(QMessageBox::Warning, QStringLiteral("x"), QMessageBox::Yes | QMessageBox::Cancel),
                 int(QMessageBox::Cancel));
        QCOMPARE(watcher.shown().first().buttons, QMessageBox::Yes | QMessageBox::Cancel);
        // Closed without a click, an Ok box answers Ok.
        QCOMPARE(g_showMessageBox(QMessageBox::Information, QStringLiteral("x"), QMessageBox::Ok), int(QMessageBox::Ok));
    }

    void errorBoxThenReport()
    {
        LocalHttpServer server;
        qputenv("QUILLSPROUT_SERVER", server.hostPort());
        ModalWatcher watcher;
        Tips::error(QStringLiteral("Disk full"));
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().icon, QMessageBox::Critical);
        QCOMPARE(watcher.shown().first().text,
                 QStringLiteral("<nobr><b>Quillsprout Chatterquay for Mac v2.14.32</b></nobr><br/><br/>"
                                "An Error Occurred. <br/><br/>Disk full<br/><br/> Or you can contact "
                                "support@quillsprout.example for help."));
        QVERIFY(server.waitForRequests(1));
        const LocalHttpServer::Request& request = server.requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QByteArray("/err_report.php"));
        QCOMPARE(request.version, QByteArray("HTTP/1.1"));
        QCOMPARE(request.header("Host"), server.hostPort());
        QCOMPARE(request.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        const QByteArray body = "prod=" + kProdField + "&ver=" + kVerField + "&err=RGlzayBmdWxs";
        QCOMPARE(request.body, body);
        QCOMPARE(request.header("Content-Length"), QByteArray::number(body.size()));
    }

    void reportedText_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("reported");
        QTest::newRow("line breaks and markup")
            << "line1<br>line2< BR />line3<x>" << QByteArray("line1\r\nline2\r\nline3&lt;x&gt;");
        QTest::newRow("empty") << "" << QByteArray();
        QTest::newRow("utf-8") << QString::fromUtf8("caf\xc3\xa9") << QByteArray("caf\xc3\xa9");
    }
    // Tips::errorWithoutPrefix reports the message as given, like Tips::error.
    void reportedText()
    {
        QFETCH(QString, message);
        QFETCH(QByteArray, reported);
        LocalHttpServer server;
        qputenv("QUILLSPROUT_SERVER", server.hostPort());
        ModalWatcher watcher;
        Tips::errorWithoutPrefix(message);
        QCOMPARE(watcher.shown().first().text,
                 "<nobr><b>Quillsprout Chatterquay for Mac v2.14.32</b></nobr><br/><br/>" + message);
        QVERIFY(server.waitForRequests(1));
        QByteArray err = reported.toBase64();
        err.replace('/', '!').replace('=', '-');
        QCOMPARE(server.requests().first().body, "prod=" + kProdField + "&ver=" + kVerField + "&err=" + err);
    }

    // A box centres on the window it comes from: the shown main window, or
    // the modal dialog open over it.
    void boxTakesItsWindowAsParent_data()
    {
        QTest::addColumn<bool>("fromDialog");
        QTest::newRow("main window") << false;
        QTest::newRow("dialog over it") << true;
    }
    void boxTakesItsWindowAsParent()
    {
        QFETCH(bool, fromDialog);
        QMainWindow window;
        window.show();
        QDialog dialog(&window);
        const QWidget* expected = fromDialog ? static_cast<QWidget*>(&dialog) : &window;
        BoxParentSpy spy;
        ModalWatcher watcher;
        if (fromDialog) {
            QTimer::singleShot(0, &dialog, [&dialog] {
                Tips::info(QStringLiteral("from the dialog"));
                dialog.accept();
            });
            dialog.exec();
        } else {
            Tips::warning(QStringLiteral("from the window"));
        }
        QCOMPARE(spy.parents, QList<const QWidget*>{expected});
    }

    // An unreachable server changes nothing for the caller.
    void reportToClosedPortIsSilent()
    {
        qputenv("QUILLSPROUT_SERVER", "127.0.0.1:1");
        report_err(QStringLiteral("nobody listens"));
        QTest::qWait(50);
    }
};

QTEST_MAIN(TstTips)
#include "tst_tips.moc"
