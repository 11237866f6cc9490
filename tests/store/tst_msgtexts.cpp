// Texts, names, summaries, dates, the logical hash, identifiers and the
// attachment body of the message records.
#include <QCryptographicHash>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include "data_path_util.h"
#include "msgidentifiers.h"
#include "msgrecords.h"
#include "temphome.h"

#include <sys/stat.h>

namespace {
bool writeImage(const QString& path, const QSize& size, const char* format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    return image.save(path, format);
}

const QString kObj = QString(QChar(0xFFFC));

_MsgHandle makeHandle(const QString& id, const QString& name = QString())
{
    _MsgHandle h;
    h.id = id;
    h._ct_name = name;
    return h;
}

// Seconds since 2001 of a UTC time (tests run with TZ=UTC).
int date21(const QDateTime& utc)
{
    return int(utc.toSecsSinceEpoch() - 978307200);
}
} // namespace

class TestMsgTexts : public QObject
{
    Q_OBJECT
private slots:
    void handleDisplayName();
    void chatDisplayName();
    void contactInfo();
    void summaryMarkers_data();
    void summaryMarkers();
    void summaryReplacesEmoji();
    void groupEvents_data();
    void groupEvents();
    void groupEventNameWithPlaceholder();
    void dates();
    void logicalHashBytes();
    void logicalHashIgnoresIdentityAndCase();
    void logicalHashGroupEventsByGuid();
    void identifiers();
    void attachmentBody();
    void thumbnail();
    void thumbnailNeverReusesAForeignFile_data();
    void thumbnailNeverReusesAForeignFile();
    void thumbnailFailedWriteLeavesNoFile();
};

void TestMsgTexts::handleDisplayName()
{
    const _MsgHandle named = makeHandle("+15551234", "Ann");
    QCOMPARE(named.displayName(true), QStringLiteral("Ann (+15551234)"));
    QCOMPARE(named.displayName(false), QStringLiteral("Ann"));
    const _MsgHandle plain = makeHandle("+15551234");
    QCOMPARE(plain.displayName(true), QStringLiteral("+15551234"));
    QCOMPARE(plain.displayName(false), QStringLiteral("+15551234"));
}

void TestMsgTexts::chatDisplayName()
{
    _MsgChat chat;
    QCOMPARE(chat.displayName(true), QStringLiteral("Unknown"));
    _MsgHandle a = makeHandle("a@x.org"), b = makeHandle("+7916");
    chat.handles.insert("1", &a);
    chat.handles.insert("2", &b);
    const QString joined = chat.displayName(true);
    QVERIFY(joined == "a@x.org, +7916" || joined == "+7916, a@x.org");
    chat.display_name = "Team";
    QCOMPARE(chat.displayName(false), QStringLiteral("Team"));
}

void TestMsgTexts::contactInfo()
{
    _MsgMessage m;
    QCOMPARE(m.contactInfo(), QStringLiteral("unknown"));
    _MsgChat chat;
    chat.display_name = "Team";
    _MsgHandle a = makeHandle("+1555", "Ann"), b = makeHandle("+1666");
    chat.handles.insert("1", &a);
    m.chat = &chat;
    m.handle = &a;
    QCOMPARE(m.contactInfo(), QStringLiteral("Team")); // one handle: no sender
    chat.handles.insert("2", &b);
    QCOMPARE(m.contactInfo(), QStringLiteral("Team (Ann)"));
    m.handle = &b;
    QCOMPARE(m.contactInfo(), QStringLiteral("Team (+1666)"));
    m.handle = nullptr;
    QCOMPARE(m.contactInfo(), QStringLiteral("Team"));
}

void TestMsgTexts::summaryMarkers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("mime");
    QTest::addColumn<QString>("summary");
    QTest::newRow("image capitals") << QString("Hi" + kObj) << "IMAGE/JPEG" << "Hi [IMAGE]";
    QTest::newRow("video") << QString() << "video/mp4" << "[VIDEO]";
    QTest::newRow("audio") << QString() << "audio/amr" << "[AUDIO]";
    QTest::newRow("vcard capitals") << QString("x") << "text/X-VCARD" << "x [VCARD]";
    QTest::newRow("vcard") << QString("x") << "text/vcard" << "x [VCARD]";
    QTest::newRow("pdf") << QString("x") << "application/pdf" << "x [ATTA]";
    QTest::newRow("empty type") << QString("x") << "" << "x [ATTA]";
    QTest::newRow("spaces, no attachment") << QString("   ") << QString() << "";
}

void TestMsgTexts::summaryMarkers()
{
    QFETCH(QString, text);
    QFETCH(QString, mime);
    QFETCH(QString, summary);
    _MsgMessage m;
    m.text = text;
    _MsgAttachment a;
    a.mime_type = mime;
    if (!mime.isNull())
        m.attas.insert("1", &a);
    QCOMPARE(m.summaryRawEmoji(), summary);
    QVERIFY(!m.visibleText().contains(QChar(0xFFFC)));
}

void TestMsgTexts::summaryReplacesEmoji()
{
    _MsgMessage m;
    m.text = QString::fromUtf16(u"ok \xD83D\xDE00 \x2714\xFE0F");
    QCOMPARE(m.summaryRawEmoji(), m.text);
    QCOMPARE(m.summary(), QString::fromUtf16(u"ok [EMOJI] [EMOJI]\xFE0F"));
}

void TestMsgTexts::groupEvents_data()
{
    QTest::addColumn<int>("itemType");
    QTest::addColumn<bool>("ownerSends");
    QTest::addColumn<int>("shareStatus");
    QTest::addColumn<QString>("summary");
    const QString when = "15 Mar 2014 9:5 PM";
    QTest::newRow("added") << 1 << false << 0 << "Ann Added +1666 to the conversation.\n" + when;
    QTest::newRow("named by owner") << 2 << true << 0 << "You named the conversation \"Trip\".\n" + when;
    QTest::newRow("left") << 3 << false << 0 << "Ann left the conversation.\n" + when;
    QTest::newRow("stopped sharing") << 4 << false << 1 << "Ann stopped sharing location with +1666.\n" + when;
    QTest::newRow("started sharing") << 4 << false << 0 << "Ann started sharing location with +1666.\n" + when;
    QTest::newRow("system 7") << 7 << false << 0 << "System Information.\n" + when;
    QTest::newRow("system -1") << -1 << false << 0 << "System Information.\n" + when;
}

void TestMsgTexts::groupEvents()
{
    QFETCH(int, itemType);
    QFETCH(bool, ownerSends);
    QFETCH(int, shareStatus);
    QFETCH(QString, summary);
    _MsgHandle sender = makeHandle("+1555", "Ann"), other = makeHandle("+1666");
    _MsgMessage m;
    m.item_type = itemType;
    m.handle = ownerSends ? nullptr : &sender;
    m.otherHandle = &other;
    m.group_title = "Trip";
    m.share_status = shareStatus;
    m.date = date21(QDateTime(QDate(2014, 3, 15), QTime(21, 5), Qt::UTC));
    QCOMPARE(m.summaryRawEmoji(), summary);
}

void TestMsgTexts::groupEventNameWithPlaceholder()
{
    _MsgHandle sender = makeHandle("x", "Mr %2"), other = makeHandle("y", "%1");
    _MsgMessage m;
    m.item_type = 1;
    m.handle = &sender;
    m.otherHandle = &other;
    QVERIFY(m.summaryRawEmoji().startsWith("Mr %2 Added %1 to the conversation.\n01 Jan 2001 12:0 AM"));
}

void TestMsgTexts::dates()
{
    QCOMPARE(dtFromDate21(0).toUTC(), QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
    QCOMPARE(dtFromDate21(2147483647).toUTC(), QDateTime(QDate(2069, 1, 19), QTime(3, 14, 7), Qt::UTC));
}

void TestMsgTexts::logicalHashBytes()
{
    _MsgMessage m;
    m.date = 1000;
    m.text = "abc";
    QCOMPARE(m.logicalHash(), QStringLiteral("cbe30746c2ebbcce089d432da118f174"));

    _MsgHandle h = makeHandle("Ann@X.org");
    m.handle = &h;
    m.is_from_me = 1;
    _MsgAttachment b, a, none;
    b.filename = "/var/x/B.jpg";
    a.filename = "~/y/a.png";
    m.attas.insert("1", &b);
    m.attas.insert("2", &a);
    m.attas.insert("3", &none);
    const QByteArray fed = QByteArray("ann@x.org") + QByteArray::fromHex("e803000001") + "abc" + "a.png" + "b.jpg";
    QCOMPARE(m.logicalHash(), QString::fromLatin1(QCryptographicHash::hash(fed, QCryptographicHash::Md5).toHex()));
}

void TestMsgTexts::logicalHashIgnoresIdentityAndCase()
{
    _MsgHandle h1 = makeHandle("Ann@x.org"), h2 = makeHandle("ann@X.ORG");
    _MsgAttachment a1, a2;
    a1.filename = "/one/Pic.JPG";
    a2.filename = "/two/pic.jpg";
    _MsgMessage m1, m2;
    m1.ROWID = 1; m2.ROWID = 2;
    m1.guid = "g1"; m2.guid = "g2";
    m1.srcRowId = 7;
    m1.handle = &h1; m2.handle = &h2;
    m1.text = "hi" + kObj; m2.text = "hi";
    m1.attas.insert("1", &a1); m2.attas.insert("9", &a2);
    QCOMPARE(m1.logicalHash(), m2.logicalHash());
    m2.date = 1;
    QVERIFY(m1.logicalHash() != m2.logicalHash());
}

void TestMsgTexts::logicalHashGroupEventsByGuid()
{
    _MsgMessage e1, e2;
    e1.item_type = e2.item_type = 2;
    e1.guid = e2.guid = "G";
    e2.text = "other";
    QCOMPARE(e1.logicalHash(), e2.logicalHash());
    QCOMPARE(e1.logicalHash(), QString::fromLatin1(QCryptographicHash::hash("G", QCryptographicHash::Md5).toHex()));
    e2.guid = "g";
    QVERIFY(e1.logicalHash() != e2.logicalHash());
}

void TestMsgTexts::identifiers()
{
    QCOMPARE(genChatIdentifier("abc"), QStringLiteral("chat126849043410737461"));
    QCOMPARE(genChatIdentifier(""), QStringLiteral("chat922209552194357126"));
    QCOMPARE(genChatIdentifier("abc"), genChatIdentifier("abc"));

    QCOMPARE(hashUUID("abc"), QStringLiteral("90015098-3CD2-4FB0-D696-3F7D28E17F72"));

    const QRegularExpression shape("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
    const QString u1 = genUUID(), u2 = genUUID();
    QVERIFY2(shape.match(u1).hasMatch(), qPrintable(u1));
    QVERIFY(u1 != u2);
}

void TestMsgTexts::attachmentBody()
{
    const QString guid = "0C0E4C2B-5A2F-4F37-9D4E-7D1B3A9C2E11";
    const QByteArray body = msgAttaAttributeBody(guid);
    QCOMPARE(body.size(), 308);
    QCOMPARE(body.mid(200, 36), guid.toUtf8());
    QCOMPARE(body.mid(2, 11), QByteArray("streamtyped"));
    QCOMPARE(body.mid(122, 3), QByteArray::fromHex("efbfbc"));
    QCOMPARE(body.mid(160, 34), QByteArray("__kIMFileTransferGUIDAttributeName"));
    QCOMPARE(body.mid(242, 29), QByteArray("__kIMMessagePartAttributeName"));
    // Digest of the bytes as written out byte by byte from the format's table.
    QCOMPARE(QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex(),
             QByteArray("b6c08505c89b44af822de531e387b2a1"));

    const QByteArray shortBody = msgAttaAttributeBody("AB");
    QCOMPARE(shortBody.size(), 274);
    QCOMPARE(shortBody.at(199), char(2));
    QCOMPARE(shortBody.right(72), body.right(72));
}

void TestMsgTexts::thumbnail()
{
    ::umask(022);
    TempHome home;
    g_resetDataSaveDirForTests();
    QTemporaryDir dir;
    _MsgAttachment wide, notImage;
    wide.localPath = dir.filePath("wide.png");
    QVERIFY(writeImage(wide.localPath, QSize(240, 100), "PNG"));
    const QString thumb = wide.thumbnail();
    // Made in a private folder of the data folder, never the shared temporary one.
    QCOMPARE(QFileInfo(thumb).absolutePath(), g_dataSaveDir().absoluteFilePath("thumbnails"));
    QCOMPARE(modeOf(QFileInfo(thumb).absolutePath()), 0700);
    QCOMPARE(modeOf(thumb), 0600);
    QImage made;
    QVERIFY(made.load(thumb, "PNG"));
    QCOMPARE(made.size(), QSize(120, 50));
    QCOMPARE(wide.thumbnail(), thumb);

    notImage.localPath = dir.filePath("text.txt");
    QFile f(notImage.localPath);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not an image");
    f.close();
    QVERIFY(!QFileInfo::exists(notImage.thumbnail()));
    g_resetDataSaveDirForTests();
}

// A file at the thumbnail's name that this program did not write, as its
// mode or type shows, is never shown: it is replaced by a thumbnail made now.
void TestMsgTexts::thumbnailNeverReusesAForeignFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("file others may read") << "wide file";
    QTest::newRow("link to another picture") << "link";
}

void TestMsgTexts::thumbnailNeverReusesAForeignFile()
{
    QFETCH(QString, kind);
    TempHome home;
    g_resetDataSaveDirForTests();
    QTemporaryDir dir;
    _MsgAttachment a;
    a.localPath = dir.filePath("tall.png");
    QVERIFY(writeImage(a.localPath, QSize(100, 240), "PNG"));
    const QString thumb = g_dataSubDir("thumbnails").filePath(g_pathHash(a.localPath) + ".thumb");
    const QString plantedPath = kind == "link" ? dir.filePath("planted.png") : thumb;
    QVERIFY(writeImage(plantedPath, QSize(7, 7), "PNG"));
    if (kind == "link")
        QVERIFY(QFile::link(plantedPath, thumb));
    else
        QVERIFY(::chmod(QFile::encodeName(thumb).constData(), 0644) == 0);

    QCOMPARE(a.thumbnail(), thumb);
    QImage made;
    QVERIFY(made.load(thumb, "PNG"));
    QCOMPARE(made.size(), QSize(50, 120));
    QCOMPARE(modeOf(thumb), 0600);
    if (kind == "link") { // the link was replaced, not written through
        QVERIFY(!QFileInfo(thumb).isSymLink());
        QVERIFY(made.load(plantedPath, "PNG"));
        QCOMPARE(made.size(), QSize(7, 7));
    }
    g_resetDataSaveDirForTests();
}

// The write fails after the file was opened (a picture 1 pixel wide scales
// to nothing, which no image writer takes): no thumbnail and no temporary
// file are left behind.
void TestMsgTexts::thumbnailFailedWriteLeavesNoFile()
{
    TempHome home;
    g_resetDataSaveDirForTests();
    QTemporaryDir dir;
    _MsgAttachment a;
    a.localPath = dir.filePath("thin.png");
    QVERIFY(writeImage(a.localPath, QSize(1, 1000), "PNG"));
    const QString thumb = a.thumbnail();
    QVERIFY(!QFileInfo::exists(thumb));
    QCOMPARE(QDir(QFileInfo(thumb).absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
    g_resetDataSaveDirForTests();
}

QTEST_GUILESS_MAIN(TestMsgTexts)
#include "tst_msgtexts.moc"
