// The version check and announcement against a local HTTP server: when the
// requests go out, what each reply leads to, and replies that fail, arrive
// in pieces or never come.
#include <QAbstractButton>
#include <QDateTime>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <optional>

#include "data_path_util.h"
#include "datahome.h"
#include "localhttpserver.h"
#include "modalwatcher.h"
#include "productinfo.h"
#include "versioncheck.h"

namespace {

const QByteArray kVersionPath = "/sms_check_update.php";
const QByteArray kAdvPath = "/adv.php";

QString timeFile()
{
    return g_dataSaveDir().absoluteFilePath(QStringLiteral("last-check-version-time"));
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Replies are deleted once handled.
bool waitUntilHandled(VersionCheck& check)
{
    QDeadlineTimer deadline(5000);
    while (!check.findChildren<QNetworkReply*>().isEmpty() && !deadline.hasExpired())
        QTest::qWait(5);
    QCoreApplication::processEvents();
    return check.findChildren<QNetworkReply*>().isEmpty();
}

} // namespace

class TestVersionCheck : public QObject
{
    Q_OBJECT

    std::unique_ptr<DataHome> home;

private slots:
    void init() { home = std::make_unique<DataHome>(); }

    void cleanup()
    {
        home.reset();
        qputenv("QUILLSPROUT_SERVER", "127.0.0.1:1");
    }

    void isDue_data()
    {
        const qint64 now = 1800000000;
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("due");
        QTest::newRow("no file") << false << QByteArray() << true;
        QTest::newRow("zero") << true << QByteArray("0") << true;
        QTest::newRow("empty") << true << QByteArray() << true;
        QTest::newRow("no number") << true << QByteArray("soon") << true;
        QTest::newRow("86401 s ago") << true << QByteArray::number(now - 86401) << true;
        QTest::newRow("86400 s ago") << true << QByteArray::number(now - 86400) << false;
        QTest::newRow("this second") << true << QByteArray::number(now) << false;
        QTest::newRow("later than now") << true << QByteArray::number(now + 100) << true;
        QTest::newRow("up to a nul") << true << QByteArray::number(now - 5) + QByteArray("\0 9", 3) << false;
    }

    void isDue()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, content);
        QFETCH(bool, due);
        if (exists)
            writeFile(timeFile(), content);
        QCOMPARE(VersionCheck::isDue(1800000000), due);
    }

    void requestsOnlyWhenDue()
    {
        LocalHttpServer server;
        qputenv("QUILLSPROUT_SERVER", server.hostPort());
        server.setDefaultResponse(404, QByteArray());
        {
            writeFile(timeFile(), QByteArray::number(QDateTime::currentSecsSinceEpoch() - 10));
            VersionCheck check;
            QVERIFY(!check.startIfDue());
            QTest::qWait(100);
            QCOMPARE(server.requests().size(), 0);
        }
        QFile::remove(timeFile());
        VersionCheck check;
        QVERIFY(check.startIfDue());
        QVERIFY(server.waitForRequests(2));
        QStringList paths;
        for (const LocalHttpServer::Request& r : server.requests()) {
            QCOMPARE(r.method, QByteArray("GET"));
            paths.append(QString::fromLatin1(r.path));
        }
        paths.sort();
        QCOMPARE(paths, (QStringList{"/adv.php?pid=5D3A7C19E0B24F6889A1C4E7F2306B9D",
                                     "/sms_check_update.php?pid=5D3A7C19E0B24F6889A1C4E7F2306B9D&ver=60&q=1"}));
        QVERIFY(waitUntilHandled(check));
        QVERIFY(!QFile::exists(timeFile())); // a 404 records nothing
    }

    void versionReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("earlierCheck");
        QTest::addColumn<bool>("downloadNow");
        QTest::addColumn<int>("boxIcon"); // 0: no box
        QTest::addColumn<bool>("opened");
        QTest::addColumn<bool>("recorded");
        QTest::newRow("no new version") << 200 << QByteArray("0") << false << false << 0 << false << true;
        QTest::newRow("obsolete") << 200 << QByteArray("http://dl.example/new") << false << false
                                  << int(QMessageBox::Warning) << true << false;
        QTest::newRow("later") << 200 << QByteArray("HTTP://dl.example/new") << true << false
                               << int(QMessageBox::Question) << false << true;
        QTest::newRow("now") << 200 << QByteArray("http://dl.example/new") << true << true
                             << int(QMessageBox::Question) << true << false;
        QTest::newRow("not found") << 404 << QByteArray("http://dl.example/new") << false << false << 0 << false
                                   << false;
        QTest::newRow("server error") << 500 << QByteArray() << true << false << 0 << false << false;
        QTest::newRow("text after a nul") << 200 << QByteArray("x\0http://a", 10) << false << false << 0 << false
                                          << true;
    }

    void versionReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, earlierCheck);
        QFETCH(bool, downloadNow);
        QFETCH(int, boxIcon);
        QFETCH(bool, opened);
        QFETCH(bool, recorded);
        LocalHttpServer server;
        qputenv("QUILLSPROUT_SERVER", server.hostPort());
        server.setResponse(kVersionPath, status, body);
        server.setResponse(kAdvPath, 404, QByteArray());
        const QByteArray earlier = QByteArray::number(QDateTime::currentSecsSinceEpoch() - 100000);
        if (earlierCheck)
            writeFile(timeFile(), earlier);

        // "Download now" is no standard button: a timer of its own clicks it,
        // and no watcher runs beside it that could close the box first.
        std::optional<ModalWatcher> watcher;
        if (!downloadNow)
            watcher.emplace();
        QTimer clicker;
        if (downloadNow) {
            connect(&clicker, &QTimer::timeout, [] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    for (QAbstractButton* b : box->buttons())
                        if (b->text() == QLatin1String("Download now"))
                            b->click();
            });
            clicker.start(2);
        }
        VersionCheck check;
        QStringList links;
        check.openLink = [&](const QString& link) { links.append(link); };
        QSignalSpy exits(&check, &VersionCheck::exitRequested);
        QVERIFY(check.startIfDue());
        QVERIFY(waitUntilHandled(check));

        if (!downloadNow)
            QCOMPARE(watcher->shown().size(), boxIcon ? 1 : 0);
        if (boxIcon && !downloadNow) {
            const ModalWatcher::ShownBox& box = watcher->shown().first();
            QCOMPARE(int(box.icon), boxIcon);
            QCOMPARE(box.title, g_productTitle());
            QVERIFY(box.flags & Qt::FramelessWindowHint);
            QVERIFY(box.styled);
        }
        QCOMPARE(links, opened ? QStringList{QString::fromLatin1(body)} : QStringList());
        QCOMPARE(exits.size(), opened ? 1 : 0);
        const QByteArray time = readFile(timeFile());
        if (recorded)
            QVERIFY(qAbs(time.toLongLong() - QDateTime::currentSecsSinceEpoch()) < 5);
        else
            QCOMPARE(time, earlierCheck ? earlier : QByteArray());
    }

    void announcementReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("shown");
        QTest::newRow("link") << 200 << QByteArray("<a href=\"http://n.example/\">News</a>")
                              << "<a style=\"color:#FF6016;text-decoration:none;\" href=\"http://n.example/\">News</a>";
        QTest::newRow("upper-case tag") << 200 << QByteArray("<A HREF=\"http://n.example/\">Ünï</A>")
                                        << "<a style=\"color:#FF6016;text-decoration:none;\" HREF=\"http://n.example/\">Ünï</A>";
        QTest::newRow("no link") << 200 << QByteArray("News") << "";
        QTest::newRow("error status") << 500 << QByteArray("<a href=\"x\">x</a>") << "";
    }

    void announcementReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, shown);
        LocalHttpServer server;
        qputenv("QUILLSPROUT_SERVER", server.hostPort());
        server.setResponse(kVersionPath, 404, QByteArray());
        server.setResponse(kAdvPath, status, body);
        VersionCheck check;
        QSignalSpy announced(&check, &VersionCheck::announcement);
        QVERIFY(check.startIfDue());
        QVERIFY(waitUntilHandled(check));
        QCOMPARE(announced.size(), shown.isEmpty() ? 0 : 1);
        if (!shown.isEmpty())
            QCOMPARE(announced.first().first().toString(), shown);
        QCOMPARE(VersionCheck::savedAnnouncement(), shown);
    }

    void unreachableServerChangesNothing()
    {
        qputenv("QUILLSPROUT_SERVER", "127.0.0.1:1");
        ModalWatcher watcher;
        VersionCheck check;
        QSignalSpy announced(&check, &VersionCheck::announcement);
        QVERIFY(check.startIfDue());
        QVERIFY(waitUntilHandled(check));
        QVERIFY(!QFile::exists(timeFile()));
        QVERIFY(watcher.shown().isEmpty());
        QCOMPARE(announced.size(), 0);
    }

    // The link arrives in two pieces; it is acted on once, whole.
    void bodyInPieces()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                const bool version = socket->readAll().contains(kVersionPath);
                const QByteArray body = version ? "http://dl.example/whole-link" : "";
                socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: "
                              + QByteArray::number(body.size()) + "\r\n\r\n" + body.left(12));
                socket->flush();
                QTimer::singleShot(150, socket, [socket, body] {
                    socket->write(body.mid(12));
                    socket->disconnectFromHost();
                });
            });
        });
        qputenv("QUILLSPROUT_SERVER", "127.0.0.1:" + QByteArray::number(server.serverPort()));
        ModalWatcher watcher;
        VersionCheck check;
        QStringList links;
        check.openLink = [&](const QString& link) { links.append(link); };
        QVERIFY(check.startIfDue());
        QVERIFY(waitUntilHandled(check));
        QCOMPARE(links, QStringList{QStringLiteral("http://dl.example/whole-link")});
        QCOMPARE(watcher.shown().size(), 1);
    }
};

QTEST_MAIN(TestVersionCheck)
#include "tst_versioncheck.moc"
