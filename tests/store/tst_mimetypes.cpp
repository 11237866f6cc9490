// The MIME-type to extension table.
#include <QtTest>

#include "mimetypes.h"

class TestMimeTypes : public QObject
{
    Q_OBJECT
private slots:
    void lookup_data();
    void lookup();
};

void TestMimeTypes::lookup_data()
{
    QTest::addColumn<QString>("mime");
    QTest::addColumn<QString>("ext");
    QTest::newRow("jpeg keeps the last extension") << "image/jpeg" << "jpg";
    QTest::newRow("mpeg audio") << "audio/mpeg" << "mpga";
    QTest::newRow("quicktime") << "video/quicktime" << "qt";
    QTest::newRow("plain") << "text/plain" << "txt";
    QTest::newRow("octet-stream") << "application/octet-stream" << "so";
    QTest::newRow("apk") << "application/vnd.android.package-archive" << "apk";
    QTest::newRow("ogv") << "video/ogv" << "ogv";
    QTest::newRow("cooltalk") << "x-conference/x-cooltalk" << "ice";
    QTest::newRow("xml") << "application/xml" << "xsl";
    QTest::newRow("capitals") << "IMAGE/JPEG" << "";
    QTest::newRow("parameters") << "text/plain; charset=utf-8" << "";
    QTest::newRow("padded") << " text/plain" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("unknown") << "application/x-nothing" << "";
}

void TestMimeTypes::lookup()
{
    QFETCH(QString, mime);
    QFETCH(QString, ext);
    QCOMPARE(mimetype2ext(mime), ext);
}

QTEST_GUILESS_MAIN(TestMimeTypes)
#include "tst_mimetypes.moc"
