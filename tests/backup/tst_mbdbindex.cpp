// The compact file index: every record read back equals the record that went
// in, names and lookups agree with the stored names computed from the texts,
// and records handed out outlive the index. Checked against a plain hash of
// records, directly and through the Manifest.mbdb reader.
#include <QtTest>

#include "mbdbfile.h"
#include "mbdbparser.h"

#include <QtEndian>

using Item = MBDBParser::_MBDBItem;
using Binary = MBDBParser::_MBDBBinary;

namespace {
Binary bin(const QByteArray& data)
{
    Binary b;
    b.setVal(data);
    return b;
}

Binary withLength(quint16 length, const QByteArray& data)
{
    Binary b;
    b.length = length;
    b.data = data;
    return b;
}

// Records that differ in every way a backup's index can: absent fields of
// both spellings, NUL and invalid UTF-8 in texts, raw bytes, properties, the
// extremes of every number and every flag.
QList<Item> variedItems()
{
    QList<Item> items;
    for (int i = 0; i < 300; ++i) {
        Item item;
        const QByteArray n = QByteArray::number(i);
        switch (i % 6) {
        case 0: item.domain = bin("HomeDomain"); break;
        case 1: item.domain = bin("MediaDomain"); break;
        case 2: item.domain = bin("AppDomain-com.example." + n); break;
        case 3: item.domain = bin(QByteArray("Dom\0ain", 7) + n); break; // NUL: hashed by its text
        case 4: item.domain = bin("\xff\xfe" "Domain"); break;          // invalid UTF-8
        default: item.domain = bin("CameraRollDomain"); break;
        }
        switch (i % 5) {
        case 0: item.path = bin("Library/SMS/file-" + n); break;
        case 1: item.path = withLength(0, QByteArray()); break;
        case 2: item.path = bin("Media/\xc3\xa9t\xc3\xa9/" + n); break;
        case 3: item.path = bin("bad\xc0/" + n); break;
        default: item.path = bin(QByteArray("nul\0tail/", 9) + n); break;
        }
        if (i % 3 == 0)
            item.linkTarget = bin("../target/" + n);
        if (i % 4 != 1)
            item.digest = bin(QByteArray(20, char(i)));
        if (i % 7 == 2)
            item.encryptionKey = bin(QByteArray(44, char(0x80 + i % 16)));
        item.mode = quint16(i % 2 ? 0x41ED : 0x81A4) ^ quint16(i);
        item.inodeHigh = i % 11 == 0 ? 0xFFFFFFFFu : quint32(i);
        item.inode = i % 13 == 0 ? 0xFFFFFFFFFFFFFFFFull : quint64(i) << 20;
        item.userId = 501 + quint32(i);
        item.groupId = i % 17 == 0 ? 0xFFFFFFFFu : 501;
        item.lastModified = 0xFFFFFFF0u - quint32(i);
        item.lastStatusChange = quint32(i) * 1000;
        item.birth = quint32(i);
        item.size = i % 19 == 0 ? std::numeric_limits<qint64>::min() : (qint64(i) << 35) - 1;
        item.protectionClass = qint8(i % 9 == 0 ? -128 : i % 8);
        item.isNew = i % 2;
        item.isModified = i % 3 == 1;
        item.isRemoved = i % 5 == 4;
        for (int p = 0; p < i % 4; ++p)
            item.properties.append({bin("name-" + QByteArray::number(p)),
                                    p == 2 ? withLength(0xFFFF, QByteArray()) : bin(QByteArray(p + 1, '\0'))});
        items.append(item);
    }
    // Fields the writer never makes but an index may be handed: a length
    // that does not match the bytes, bytes behind an absent length, and a
    // field longer than 16 bits count.
    Item odd;
    odd.domain = bin("WirelessDomain");
    odd.path = withLength(7, "abc");
    odd.linkTarget = withLength(0xFFFF, "hidden");
    odd.digest = bin(QByteArray(70000, 'd'));
    items.append(odd);
    // A field longer than a block of the index, amid records that fill one.
    Item huge;
    huge.domain = bin("HugeDomain");
    huge.path = bin("huge");
    huge.digest = bin(QByteArray(3 << 20, 'h'));
    items.insert(150, huge);
    return items;
}

void compareBinary(const Binary& got, const Binary& want, const char* field)
{
    QVERIFY2(got.length == want.length && got.data == want.data, field);
}

void compareItems(const Item& got, const Item& want)
{
    compareBinary(got.domain, want.domain, "domain");
    compareBinary(got.path, want.path, "path");
    compareBinary(got.linkTarget, want.linkTarget, "linkTarget");
    compareBinary(got.digest, want.digest, "digest");
    compareBinary(got.encryptionKey, want.encryptionKey, "encryptionKey");
    QCOMPARE(got.mode, want.mode);
    QCOMPARE(got.inodeHigh, want.inodeHigh);
    QCOMPARE(got.inode, want.inode);
    QCOMPARE(got.userId, want.userId);
    QCOMPARE(got.groupId, want.groupId);
    QCOMPARE(got.lastModified, want.lastModified);
    QCOMPARE(got.lastStatusChange, want.lastStatusChange);
    QCOMPARE(got.birth, want.birth);
    QCOMPARE(got.size, want.size);
    QCOMPARE(got.protectionClass, want.protectionClass);
    QCOMPARE(got.isNew, want.isNew);
    QCOMPARE(got.isModified, want.isModified);
    QCOMPARE(got.isRemoved, want.isRemoved);
    QCOMPARE(got.properties.size(), want.properties.size());
    for (qsizetype p = 0; p < want.properties.size(); ++p) {
        compareBinary(got.properties[p].name, want.properties[p].name, "property name");
        compareBinary(got.properties[p].value, want.properties[p].value, "property value");
    }
}

// The stored name as it has always been computed: from the decoded texts.
QString storedName(const Item& item)
{
    return MBDBParser::getFileHashName(item.domain.toString(), item.path.toString());
}

// Every record of `reference` is in the index under its name, equal, and the
// index holds nothing else.
void compareWithReference(const MBDBParser::Index& index, const QHash<QString, Item>& reference)
{
    QCOMPARE(index.size(), reference.size());
    for (auto it = reference.cbegin(); it != reference.cend(); ++it) {
        QVERIFY2(index.contains(it.key()), qPrintable(it.key()));
        compareItems(index.value(it.key()), it.value());
        if (QTest::currentTestFailed())
            return;
    }
    QSet<QString> seen;
    for (auto it = index.begin(); it != index.end(); ++it) {
        QVERIFY(reference.contains(it.key()));
        QVERIFY(!seen.contains(it.key()));
        seen.insert(it.key());
        compareItems(*it, reference.value(it.key()));
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(index.values().size(), reference.size());
}

void putBinary(QByteArray& out, const Binary& b)
{
    char length[2];
    qToBigEndian<quint16>(b.length, length);
    out.append(length, 2);
    if (b.isValid())
        out.append(b.data);
}

template <typename T>
void putNumber(QByteArray& out, T value)
{
    char bytes[sizeof(T)];
    qToBigEndian<T>(value, bytes);
    out.append(bytes, sizeof(T));
}

// A Manifest.mbdb holding the records, as the writer lays them out.
QByteArray mbdbBytes(const QList<Item>& items)
{
    QByteArray out("mbdb\x05\x00", 6);
    for (const Item& item : items) {
        for (const Binary* b : {&item.domain, &item.path, &item.linkTarget, &item.digest, &item.encryptionKey})
            putBinary(out, *b);
        putNumber<quint16>(out, item.mode);
        putNumber<quint32>(out, item.inodeHigh);
        putNumber<quint32>(out, quint32(item.inode));
        for (quint32 n : {item.userId, item.groupId, item.lastModified, item.lastStatusChange, item.birth})
            putNumber<quint32>(out, n);
        putNumber<qint64>(out, item.size);
        out.append(char(item.protectionClass)).append(char(item.properties.size()));
        for (const MBDBParser::_MBDBProperty& p : item.properties) {
            putBinary(out, p.name);
            putBinary(out, p.value);
        }
    }
    return out;
}
} // namespace

class TestMbdbIndex : public QObject
{
    Q_OBJECT

private slots:
    void recordsReadBackAsTheyWentIn()
    {
        const QList<Item> items = variedItems();
        MBDBParser::Index index;
        QHash<QString, Item> reference;
        for (const Item& item : items) {
            index.add(item);
            reference.insert(storedName(item), item);
        }
        compareWithReference(index, reference);
        QVERIFY(!index.contains(MBDBParser::getFileHashName("NoDomain", "none")));
        compareItems(index.value(MBDBParser::getFileHashName("NoDomain", "none")), Item());
        for (const Item& item : items)
            QCOMPARE(item.backupFileName(), storedName(item));
    }

    // The later record under a name replaces the earlier one in place.
    void laterRecordReplacesEarlier()
    {
        Item first;
        first.domain = bin("HomeDomain");
        first.path = bin("Library/SMS/sms.db");
        first.size = 1;
        first.properties.append({bin("a"), bin("b")});
        Item second = first;
        second.size = 2;
        second.properties.clear();
        second.digest = bin("digest");
        MBDBParser::Index index;
        index.add(first);
        index.add(second);
        QCOMPARE(index.size(), 1);
        compareItems(index.value(storedName(first)), second);
        QCOMPARE(index.name(0), storedName(first));
    }

    // Names that are no lower-case hex digest (upper-case hex, short names)
    // are names of their own.
    void namesOtherThanDigests()
    {
        Item a, b, c;
        a.domain = bin("A");
        b.domain = bin("B");
        c.domain = bin("C");
        const QString lower = storedName(a);
        MBDBParser::Index index;
        index.insert(lower, a);
        index.insert(lower.toUpper(), b);
        index.insert(QStringLiteral("x"), c);
        index.insert(QString(), a);
        QCOMPARE(index.size(), 4);
        compareItems(index.value(lower), a);
        compareItems(index.value(lower.toUpper()), b);
        compareItems(index.value(QStringLiteral("x")), c);
        QVERIFY(index.contains(QString()));
        QVERIFY(!index.contains(QStringLiteral("y")));
        QStringList keys;
        for (auto it = index.begin(); it != index.end(); ++it)
            keys << it.key();
        QCOMPARE(keys, QStringList({lower, lower.toUpper(), QStringLiteral("x"), QString()}));
    }

    // Records handed out keep their bytes after the index is gone, and a
    // copy of the index grows apart from the original.
    void recordsOutliveTheIndexAndCopiesAreApart()
    {
        QList<Item> items = variedItems();
        for (qsizetype i = 0; i < items.size(); ++i)
            items[i].path = bin("unique/" + QByteArray::number(i));
        QList<Item> out;
        MBDBParser::Index copy;
        {
            MBDBParser::Index index;
            for (const Item& item : items.first(50))
                index.add(item);
            copy = index;
            for (const Item& item : items.sliced(50, 50))
                index.add(item);
            out = index.values();
        }
        for (const Item& item : items.sliced(100, 50))
            copy.add(item);
        QCOMPARE(out.size(), 100);
        QCOMPARE(copy.size(), 100);
        for (int i = 0; i < 100; ++i)
            compareItems(out.at(i), items.at(i));
        for (int i = 0; i < 50; ++i)
            compareItems(copy.item(i), items.at(i));
        for (int i = 50; i < 100; ++i)
            compareItems(copy.item(i), items.at(i + 50));
    }

    // Enough records to grow the table many times; every one is found.
    void manyRecordsAreAllFound()
    {
        MBDBParser::Index index;
        QStringList names;
        for (int i = 0; i < 20000; ++i) {
            Item item;
            item.domain = bin("MediaDomain");
            item.path = bin("Library/SMS/Attachments/" + QByteArray::number(i));
            item.inode = quint64(i);
            index.add(item);
            names << storedName(item);
        }
        QCOMPARE(index.size(), 20000);
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(index.value(names.at(i)).inode, quint64(i));
    }

    // The Manifest.mbdb reader enters every record with a domain as it was
    // written; records without one are dropped.
    void mbdbReaderMatchesTheRecords()
    {
        QList<Item> items;
        QHash<QString, Item> reference;
        for (Item item : variedItems()) {
            // What the file format can hold: 32-bit inode words, no flags,
            // lengths that match their bytes.
            if (item.digest.data.size() > 0xFFFE || item.path.length == 7)
                continue;
            item.inode &= 0xFFFFFFFFu;
            item.isNew = item.isModified = item.isRemoved = false;
            for (Binary* b : {&item.linkTarget, &item.encryptionKey})
                if (!b->isValid())
                    *b = Binary();
            items.append(item);
        }
        Item noDomain = items.first();
        noDomain.domain = withLength(0, QByteArray());
        items.insert(1, noDomain);
        for (const Item& item : items)
            if (item.domain.isValid())
                reference.insert(storedName(item), item);
        const QByteArray bytes = mbdbBytes(items);
        compareWithReference(g_parseMbdbBytes(bytes.constData(), quint64(bytes.size())), reference);
    }
};

QTEST_GUILESS_MAIN(TestMbdbIndex)
#include "tst_mbdbindex.moc"
