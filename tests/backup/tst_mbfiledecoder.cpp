// The direct decoder of Manifest.db records against the reading through
// property-list objects: both must give the same record for every input,
// the archives of real shapes, odd ones and every one-byte change of them.
// Inside the direct decoder, the single pass against the checked road: where
// the single pass decodes a list, the checked road must decode it the same.
#include "bplistfixture.h"
#include "backupfixture.h"
#include "mbfile.h"
#include "mbfiledecoder.h"
#include "bplistview.h"
#include "mobiledevice_loader.h"

#include <QtTest>

namespace {

using B = BplistFixture;
using Item = MBDBParser::_MBDBItem;

QString describe(const Item& i)
{
    const auto bin = [](const MBDBParser::_MBDBBinary& b) {
        return QString("%1:%2").arg(b.length).arg(QString::fromLatin1(b.data.toHex()));
    };
    return QString("target %1 digest %2 key %3 mode %4 inode %5 uid %6 gid %7 times %8/%9/%10 size %11 class %12")
        .arg(bin(i.linkTarget), bin(i.digest), bin(i.encryptionKey))
        .arg(i.mode)
        .arg(i.inode)
        .arg(i.userId)
        .arg(i.groupId)
        .arg(i.lastModified)
        .arg(i.lastStatusChange)
        .arg(i.birth)
        .arg(i.size)
        .arg(i.protectionClass);
}

// The record each road reads; the direct one falls back as readArchive does.
QPair<QString, QString> bothRoads(const QByteArray& bytes)
{
    Item throughObjects;
    MBFile::readArchiveThroughObjects(bytes, throughObjects);
    Item direct;
    MBFile::readArchive(bytes, direct);
    return {describe(throughObjects), describe(direct)};
}

BackupFixtureRecord record()
{
    BackupFixtureRecord r;
    r.domain = "HomeDomain";
    r.path = "Library/SMS/sms.db";
    r.contents = "x";
    r.digest = QByteArray(20, '\x11');
    r.encryptionKey = QByteArray("\x03\0\0\0", 4) + QByteArray(40, 'k');
    r.inode = 0x1234567890ull;
    r.userId = 0xFFFFFFF0u; // beyond 32-bit signed: reads as 0 on both roads
    r.protectionClass = 3;
    return r;
}

// Where the single pass decodes the bytes, what the checked road reads
// differently; empty when they agree or the single pass hands the bytes on.
QString singlePassDiffers(const QByteArray& bytes, bool& decoded)
{
    Item single;
    decoded = g_decodeMbFileSinglePass(bytes, single);
    if (!decoded)
        return QString();
    Item checked;
    if (!g_decodeMbFileChecked(bytes, checked))
        return QStringLiteral("the checked road hands the list to the object road");
    return describe(single) == describe(checked) ? QString()
                                                 : QString("single %1\n  checked %2").arg(describe(single), describe(checked));
}

// An archive whose root is object 1 and whose `$objects` are `items`.
QByteArray archive(B& b, const QList<int>& items)
{
    const int objects = b.add(B::array(items));
    const int top = b.add(B::dict({b.add(B::ascii("root"))}, {b.add(B::uid(1))}));
    b.set(0, B::dict({b.add(B::ascii("$objects")), b.add(B::ascii("$top"))}, {objects, top}));
    return b.bytes();
}

} // namespace

class TestMbFileDecoder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameRecord_data();
    void sameRecord();
    void sameRecordAfterEveryByteChange_data();
    void sameRecordAfterEveryByteChange();
    void commonShapesAreDecodedDirectly();
    void singlePassHandsOn_data();
    void singlePassHandsOn();
    void treeCheckKeepsWhatItReads_data();
    void treeCheckKeepsWhatItReads();
};

void TestMbFileDecoder::initTestCase()
{
    QString error;
    QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
}

void TestMbFileDecoder::sameRecord_data()
{
    QTest::addColumn<QByteArray>("bytes");
    BackupFixtureRecord r = record();
    QTest::newRow("plain data") << BackupFixture::mbfileArchive(r);
    r.dataAsDictionary = true;
    QTest::newRow("NSMutableData") << BackupFixture::mbfileArchive(r);
    r.dataByReference = true;
    QTest::newRow("NSMutableData by reference") << BackupFixture::mbfileArchive(r);
    r.omitProtectionClass = true;
    QTest::newRow("no ProtectionClass") << BackupFixture::mbfileArchive(r);
    r.linkTarget = "../elsewhere";
    QTest::newRow("link") << BackupFixture::mbfileArchive(r);

    Item written;
    written.linkTarget.setVal("t\xc3\xa9");
    written.digest.setVal(QByteArray(20, '\1'));
    written.encryptionKey.setVal(QByteArray(44, '\2'));
    written.size = -5;
    written.mode = 0120755;
    QTest::newRow("our own writer") << MBFile::writeArchive(written);

    {
        B b;
        b.add(QByteArray()); // the top dictionary, set by archive()
        const int k = b.add(B::ascii("Mode")), one = b.add(B::integer(1)), two = b.add(B::integer(2));
        b.add(B::ascii("$null"));
        const int root = b.add(B::dict({k, k}, {one, two}));
        QTest::newRow("a key twice: the last counts") << archive(b, {4, root});
    }
    {
        B b;
        b.add(QByteArray());
        const int root = b.add(B::dict({b.add(B::ascii("Size")), b.add(B::ascii("Target"))},
                                       {b.add(B::uid(99)), b.add(QByteArray("\x23", 1) + QByteArray(8, '\x40'))}));
        QTest::newRow("UID outside $objects, real as text") << archive(b, {root, root});
    }
    {
        B b;
        b.add(QByteArray());
        const int root = b.add(B::dict({b.add(B::ascii("Size"))}, {b.add(QByteArray("\x23", 1) + QByteArray(8, '\x40'))}));
        QTest::newRow("real number") << archive(b, {root, root});
    }
    {
        B b;
        b.add(QByteArray());
        const int root = b.add(B::dict({b.add(B::utf16("Size"))}, {b.add(B::integer(9))}));
        QTest::newRow("key as UTF-16") << archive(b, {root, root});
    }
    {
        B b;
        b.add(QByteArray());
        const int root = b.add(B::dict({b.add(B::ascii("ProtectionClass")), b.add(B::ascii("EncryptionKey"))},
                                       {b.add(QByteArray("\x09", 1)), b.add(B::data(QByteArray("\x07\0\0\0", 4)))}));
        QTest::newRow("class as boolean, key prefix counts") << archive(b, {root, root});
    }
    {
        B b;
        b.add(QByteArray());
        const int root = b.add(B::dict({b.add(B::ascii("Size"))}, {b.add(B::integer(9))}));
        const int objects = b.add(B::array({root, root}));
        const int top = b.add(B::dict({b.add(B::ascii("root"))}, {b.add(B::uid(1))}));
        b.set(0, B::dict({b.add(B::ascii("$objects")), b.add(B::ascii("$top")), b.add(B::ascii("$again"))},
                         {objects, top, objects}));
        QTest::newRow("a container reached twice") << b.bytes();
    }
    {
        B b;
        b.add(QByteArray());
        const int root = b.add(B::dict({b.add(B::ascii("Size"))}, {b.add(B::integer(9))}));
        const int objects = b.add(B::array({root, root}));
        b.set(0, B::dict({b.add(B::ascii("$objects"))}, {objects}));
        QTest::newRow("no $top: the root is item 0") << b.bytes();
    }
    QTest::newRow("XML") << QByteArray("<plist><dict><key>$objects</key><array/></dict></plist>");
    QTest::newRow("empty") << QByteArray();
}

void TestMbFileDecoder::sameRecord()
{
    QFETCH(QByteArray, bytes);
    const auto roads = bothRoads(bytes);
    QCOMPARE(roads.second, roads.first);
}

void TestMbFileDecoder::sameRecordAfterEveryByteChange_data()
{
    QTest::addColumn<QByteArray>("bytes");
    BackupFixtureRecord r = record();
    QTest::newRow("plain data") << BackupFixture::mbfileArchive(r);
    r.dataAsDictionary = r.dataByReference = true;
    r.linkTarget = "target";
    QTest::newRow("by reference, with link") << BackupFixture::mbfileArchive(r);
    Item written;
    written.digest.setVal(QByteArray(20, '\1'));
    written.encryptionKey.setVal(QByteArray("\x02\0\0\0", 4) + QByteArray(40, '\2'));
    written.mode = 0100644;
    written.size = 1234;
    QTest::newRow("our own writer") << MBFile::writeArchive(written);
}

void TestMbFileDecoder::sameRecordAfterEveryByteChange()
{
    QFETCH(QByteArray, bytes);
    bool decoded = false;
    QVERIFY(singlePassDiffers(bytes, decoded).isEmpty());
    QVERIFY2(decoded, "the unchanged archive is of the shape the single pass reads");
    int singlePassDecoded = 0;
    for (int at = 0; at < bytes.size(); ++at) {
        for (int change : {0x00, 0xFF, 0x01, 0x80}) {
            QByteArray changed = bytes;
            changed[at] = char(change == 0x01 || change == 0x80 ? bytes[at] ^ change : change);
            const auto roads = bothRoads(changed);
            if (roads.second != roads.first)
                QFAIL(qPrintable(QString("byte %1 changed to %2:\n  objects %3\n  direct  %4")
                                     .arg(at)
                                     .arg(quint8(changed[at]))
                                     .arg(roads.first, roads.second)));
            const QString differs = singlePassDiffers(changed, decoded);
            if (!differs.isEmpty())
                QFAIL(qPrintable(QString("byte %1 changed to %2:\n  %3").arg(at).arg(quint8(changed[at])).arg(differs)));
            singlePassDecoded += decoded ? 1 : 0;
        }
    }
    // Most changes touch a number, a text or a digest, which the single pass
    // still reads; a pass that handed every list on would prove nothing.
    QVERIFY2(singlePassDecoded > bytes.size(), qPrintable(QString::number(singlePassDecoded)));
}

// The fast road must not fall back for what backups hold.
void TestMbFileDecoder::commonShapesAreDecodedDirectly()
{
    BackupFixtureRecord r = record();
    Item item;
    QVERIFY(g_decodeMbFileDirect(BackupFixture::mbfileArchive(r), item));
    QCOMPARE(item.encryptionKey.data, r.encryptionKey);
    r.dataAsDictionary = r.dataByReference = r.omitProtectionClass = true;
    QVERIFY(g_decodeMbFileDirect(BackupFixture::mbfileArchive(r), item));
    QCOMPARE(item.protectionClass, qint8(3));
    QVERIFY(g_decodeMbFileDirect(MBFile::writeArchive(item), item));

    // ... and in one pass.
    Item single;
    QVERIFY(g_decodeMbFileSinglePass(MBFile::writeArchive(item), single));
    QCOMPARE(describe(single), describe(item));
    r.linkTarget = "t";
    QVERIFY(g_decodeMbFileSinglePass(BackupFixture::mbfileArchive(r), single));
    QCOMPARE(single.linkTarget.data, QByteArray("t"));
}

// Shapes the single pass leaves to the checked road, which may refuse them
// or read them; either way every road gives the same record.
void TestMbFileDecoder::singlePassHandsOn_data()
{
    QTest::addColumn<QByteArray>("bytes");
    {
        B b;
        b.add(QByteArray());
        const int one = b.add(B::integer(1));
        QList<int> ones;
        for (int i = 0; i < 64; ++i)
            ones << one;
        const int shared = b.add(B::array(ones));
        QList<int> items;
        for (int i = 0; i < 64; ++i)
            items << shared;
        const int root = b.add(B::dict({b.add(B::ascii("Size"))}, {b.add(B::integer(9))}));
        QTest::newRow("one array behind every item") << archive(b, QList<int>{root, root} + items);
    }
    {
        B b;
        b.add(QByteArray());
        // The root's value holds arrays two deep: the inner one lies deeper
        // than any container of an MBFile archive.
        int nested = b.add(B::integer(1));
        for (int level = 0; level < 2; ++level)
            nested = b.add(B::array({nested}));
        const int root = b.add(B::dict({b.add(B::ascii("Size")), b.add(B::ascii("Deep"))}, {b.add(B::integer(9)), nested}));
        QTest::newRow("nested deeper than the shape") << archive(b, {root, root});
    }
    {
        B b;
        b.add(QByteArray());
        const int root = b.add(B::dict({b.add(B::ascii("Size"))}, {b.add(B::integer(9))}));
        QTest::newRow("$objects holds the top") << archive(b, {root, root, 0});
    }
    {
        B b;
        b.add(QByteArray());
        const int root = b.add(B::dict({b.add(B::ascii("Size"))}, {b.add(B::integer(9))}));
        const int self = b.add(QByteArray());
        b.set(self, B::dict({b.add(B::ascii("me"))}, {self}));
        QTest::newRow("an item holds itself") << archive(b, {root, root, self});
    }
    {
        B b;
        b.add(QByteArray());
        const int root = b.add(B::dict({b.add(B::ascii("Size"))}, {b.add(B::integer(9))}));
        QTest::newRow("UID beyond 32 bits") << archive(b, {root, root, b.add(QByteArray("\x84\1\0\0\0\0", 6))});
    }
    {
        B b;
        b.add(QByteArray());
        const int root = b.add(B::dict({b.add(B::ascii("Size"))}, {b.add(B::integer(9))}));
        QTest::newRow("null item") << archive(b, {root, root, b.add(QByteArray(1, '\0'))});
    }
    {
        B b;
        b.add(QByteArray());
        const int root = b.add(B::dict({b.add(B::ascii("Size"))}, {b.add(B::integer(9))}));
        const int inner = b.add(B::dict({b.add(B::utf16("k"))}, {b.add(B::integer(1))}));
        QTest::newRow("UTF-16 key in another item") << archive(b, {root, root, inner});
    }
}

void TestMbFileDecoder::singlePassHandsOn()
{
    QFETCH(QByteArray, bytes);
    Item single;
    QVERIFY(!g_decodeMbFileSinglePass(bytes, single));
    QCOMPARE(describe(single), describe(Item()));
    const auto roads = bothRoads(bytes);
    QCOMPARE(roads.second, roads.first);
}

void TestMbFileDecoder::treeCheckKeepsWhatItReads_data()
{
    sameRecordAfterEveryByteChange_data();
    // A key shared by two dictionaries: checked once as a string, it must
    // still be refused where a container is expected.
    B b;
    const int top = b.add(QByteArray());
    const int k = b.add(B::ascii("k"));
    const int inner = b.add(B::dict({k}, {b.add(B::integer(1))}));
    b.set(top, B::dict({k, b.add(B::ascii("a"))}, {inner, b.add(B::array({inner, k}))}));
    QTest::newRow("key also a value") << b.bytes();
    const int usesAsKey = b.add(B::dict({inner}, {b.add(B::integer(2))}));
    b.set(top, B::dict({b.add(B::ascii("a"))}, {b.add(B::array({inner, usesAsKey}))}));
    QTest::newRow("dictionary as a key after its use as a value") << b.bytes();
}

// The walk that keeps each object it reads refuses exactly what the plain
// walk refuses, after any one-byte change, and keeps each object as the view
// reads it.
void TestMbFileDecoder::treeCheckKeepsWhatItReads()
{
    QFETCH(QByteArray, bytes);
    std::vector<uint8_t> state;
    bplist::TreeScratch scratch;
    for (int at = -1; at < bytes.size(); ++at) {
        for (int change : {0x00, 0xFF, 0x01, 0x80}) {
            QByteArray changed = bytes;
            if (at >= 0)
                changed[at] = char(change == 0x01 || change == 0x80 ? bytes[at] ^ change : change);
            bplist::View view;
            std::string error;
            if (!view.open(changed.constData(), size_t(changed.size()), error))
                continue;
            const bool plain = view.checkTree(state);
            if (view.checkTree(scratch) != plain)
                QFAIL(qPrintable(QString("byte %1 changed to %2: the walks disagree").arg(at).arg(quint8(changed[at]))));
            for (uint64_t ref = 0; plain && ref < view.objectCount(); ++ref) {
                bplist::Object kept, read;
                const bool readable = view.object(ref, read);
                QVERIFY(view.checkedObject(scratch, ref, kept) == readable);
                QVERIFY(!readable || (kept.kind == read.kind && kept.count == read.count && kept.content == read.content));
            }
        }
    }
}

QTEST_MAIN(TestMbFileDecoder)
#include "tst_mbfiledecoder.moc"
