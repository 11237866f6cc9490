// CFType over the CoreFoundation stand-in, loaded through the framework
// loader as the application loads it.
#include "cftype.h"
#include "mobiledevice_loader.h"
#include "pythonplist.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include <plist/plist.h>

namespace {

CFIndex retainCount(const CFType& value)
{
    auto fn = reinterpret_cast<CFIndex (*)(CFTypeRef)>(mobiledevice_loader_cf("CFGetRetainCount"));
    return fn(value.ref());
}

CFType dateAt(double absoluteTime)
{
    auto create = reinterpret_cast<CFDateRef (*)(CFAllocatorRef, double)>(mobiledevice_loader_cf("CFDateCreate"));
    return CFType(create(nullptr, absoluteTime), true);
}

double absoluteTime(const CFType& date)
{
    auto get = reinterpret_cast<double (*)(CFDateRef)>(mobiledevice_loader_cf("CFDateGetAbsoluteTime"));
    return get(static_cast<CFDateRef>(date.ref()));
}

QByteArray xml(const CFType& value)
{
    return value.CFPropertyListToBytes(kCFPropertyListXMLFormat_v1_0);
}

// One nested value with every kind of item.
CFType nestedValue()
{
    CFType inner = CFType::createCFArray();
    inner.append(CFType::createCFNumberInt64(-5))
        .append(CFType::createCFNumberInt64(9007199254740993LL))
        .append(CFType::createCFNumberDouble(0.1))
        .append(CFType::createCFBoolean(true))
        .append(CFType::createCFKeyedArchiverUID(7));
    CFType dict = CFType::createCFDictionary();
    dict.put(QStringLiteral("text"), CFType::createCFString(QStringLiteral("h\u00e9llo \U0001F600")))
        .put(QStringLiteral("data"), CFType::createCFData(QByteArray("\x00\x01\xff", 3)))
        .put(QStringLiteral("date"), CFType::createCFDate(QDateTime(QDate(2013, 5, 6), QTime(7, 8, 9))))
        .put(QStringLiteral("list"), inner)
        .put(QStringLiteral("empty"), CFType::createCFDictionary());
    return dict;
}

// A binary plist of the given objects (one-byte offsets and references),
// whose top object is object 0.
QByteArray binaryPlist(const QList<QByteArray>& objects)
{
    QByteArray out("bplist00");
    QByteArray offsets;
    for (const QByteArray& object : objects) {
        offsets.append(char(out.size()));
        out.append(object);
    }
    const int tableOffset = out.size();
    out.append(offsets);
    QByteArray trailer(32, '\0');
    trailer[6] = 1;                     // offset size
    trailer[7] = 1;                     // reference size
    trailer[15] = char(objects.size()); // object count
    trailer[23] = 0;                    // top object
    trailer[31] = char(tableOffset);
    return out + trailer;
}

// A binary plist of arrays nested `depth` deep, the innermost empty; two-byte
// offsets and references, so the depth may pass 255.
QByteArray nestedArrays(int depth)
{
    QByteArray out("bplist00");
    QByteArray offsets;
    for (int i = 0; i < depth; ++i) {
        offsets.append(char((out.size() >> 8) & 0xff)).append(char(out.size() & 0xff));
        if (i + 1 < depth)
            out.append(char(0xa1)).append(char(((i + 1) >> 8) & 0xff)).append(char((i + 1) & 0xff));
        else
            out.append(char(0xa0));
    }
    const int tableOffset = out.size();
    out.append(offsets);
    QByteArray trailer(32, '\0');
    trailer[6] = 2;
    trailer[7] = 2;
    trailer[14] = char((depth >> 8) & 0xff);
    trailer[15] = char(depth & 0xff);
    trailer[29] = char((tableOffset >> 16) & 0xff);
    trailer[30] = char((tableOffset >> 8) & 0xff);
    trailer[31] = char(tableOffset & 0xff);
    return out + trailer;
}

// Writes a binary plist holding the number 42 whose offset table stands
// `gap` bytes behind it; the gap is a hole of the file, so a large file
// costs no disk space.
void writeSparsePlist(const QString& path, qint64 gap)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(QByteArray("bplist00\x10\x2a", 10)), qint64(10));
    const qint64 tableOffset = 10 + gap;
    QVERIFY(file.resize(tableOffset));
    QVERIFY(file.seek(tableOffset));
    QByteArray tail("\0\0\0\x08", 4); // the one offset, 4 bytes wide
    QByteArray trailer(32, '\0');
    trailer[6] = 4;
    trailer[7] = 1;
    trailer[15] = 1;
    for (int i = 0; i < 8; ++i)
        trailer[31 - i] = char((tableOffset >> (8 * i)) & 0xff);
    QCOMPARE(file.write(tail + trailer), qint64(36));
}

} // namespace

Q_DECLARE_METATYPE(CFType)

class TestCFType : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void nullValues();
    void adoptAndRetain();
    void numberReaders_data();
    void numberReaders();
    void booleans();
    void strings_data();
    void strings();
    void dates();
    void dataAndUids();
    void dictionaries();
    void arrays();
    void propertyListRoundTrip();
    void propertyListFailures();
    void cloneIsDeepAndImmutable();
    void readsPythonPlists_data();
    void readsPythonPlists();
    void pythonReadsOurs_data();
    void pythonReadsOurs();
    void malformedPropertyLists_data();
    void malformedPropertyLists();
    void corruptedBytesNeverCrash();
    void keyedArchiveRoundTrip();
    void keyedArchiveRootFields();
    void hostileKeyedArchives_data();
    void hostileKeyedArchives();
    void mutatorsIgnoreNullKeysAndValues();
    void keyedArchiveNullKeepsLaterIndexes();
    void datesOutside32BitsFailToWrite_data();
    void datesOutside32BitsFailToWrite();
    void propertyListFileSizeLimit();
    void nestingLimit_data();
    void nestingLimit();
};

void TestCFType::initTestCase()
{
    QString error;
    mobiledevice_loader_ini(error, QString());
    QVERIFY2(mobiledevice_loader_is_corefoundation_loaded(), qPrintable(error));
}

void TestCFType::nullValues()
{
    for (const CFType& value : {CFType(), CFType(nullptr, true), CFType(nullptr, false)}) {
        QVERIFY(!value.ref());
        QVERIFY(!value.isCFString() && !value.isCFNumber() && !value.isCFBoolean() && !value.isCFDate());
        QVERIFY(!value.isCFData() && !value.isCFKeyedArchiverUID() && !value.isCFDictionary() && !value.isCFArray());
        QCOMPARE(value.typeId(), quint64(reinterpret_cast<CFTypeID (*)()>(mobiledevice_loader_cf("CFNullGetTypeID"))()));
        QCOMPARE(value.toString(), QString());
        QCOMPARE(value.CFNumberInt(7), 7);
        QCOMPARE(value.CFNumberBool(true), true);
        QVERIFY(value.CFDataBytes().isEmpty());
        QVERIFY(!value.CFDateToDateTime(static_cast<CFTimeZoneRef>(nullptr)).isValid());
        QVERIFY(!value.CFDateToDateTime(QStringLiteral("Europe/Paris")).isValid());
        QVERIFY(!value.CFDateToDateTime(3600).isValid());
        QCOMPARE(value.dict_size(), 0L);
        QVERIFY(!value.get(QStringLiteral("a")).ref());
        QVERIFY(!value.at(0).ref());
        QVERIFY(xml(value).isEmpty());
    }
}

void TestCFType::adoptAndRetain()
{
    const CFType owner = CFType::createCFString(QStringLiteral("x"));
    QCOMPARE(retainCount(owner), CFIndex(1));
    {
        CFType borrowed(owner.ref(), false);
        QCOMPARE(retainCount(owner), CFIndex(2));
        CFType copy = borrowed;
        QCOMPARE(retainCount(owner), CFIndex(2));
    }
    QCOMPARE(retainCount(owner), CFIndex(1));

    auto retain = reinterpret_cast<CFTypeRef (*)(CFTypeRef)>(mobiledevice_loader_cf("CFRetain"));
    retain(owner.ref()); // a reference that the adopting wrapper takes over
    {
        CFType adopted(owner.ref(), true);
        QCOMPARE(retainCount(owner), CFIndex(2));
    }
    QCOMPARE(retainCount(owner), CFIndex(1));

    // A value put into a dictionary lives on with it after its wrapper went.
    CFType dict = CFType::createCFDictionary();
    {
        CFType value = CFType::createCFNumberInt32(1);
        dict.put(QStringLiteral("k"), value);
    }
    QCOMPARE(dict.get(QStringLiteral("k")).CFNumberInt(0), 1);
}

void TestCFType::numberReaders_data()
{
    QTest::addColumn<CFType>("value");
    QTest::addColumn<int>("int8");
    QTest::addColumn<int>("int16");
    QTest::addColumn<int>("int32");
    QTest::addColumn<qint64>("int64");
    QTest::addColumn<float>("float32");
    QTest::addColumn<double>("float64");
    QTest::addColumn<QString>("text");

    // -1 is the default every reader is given: the conversion would lose something.
    QTest::newRow("3.5") << CFType::createCFNumberDouble(3.5) << -1 << -1 << -1 << qint64(-1) << 3.5f << 3.5 << "3.5";
    QTest::newRow("2^40") << CFType::createCFNumberInt64(1099511627776LL) << -1 << -1 << -1 << qint64(1099511627776LL)
                          << 1099511627776.0f << 1099511627776.0 << "1099511627776";
    QTest::newRow("double 1234567") << CFType::createCFNumberDouble(1234567) << -1 << -1 << 1234567
                                    << qint64(1234567) << 1234567.0f << 1234567.0 << "1.23457e+06";
    QTest::newRow("int32 -5") << CFType::createCFNumberInt32(-5) << -5 << -5 << -5 << qint64(-5) << -5.0f << -5.0
                              << "-5";
    QTest::newRow("int16 300") << CFType::createCFNumberInt16(300) << -1 << 300 << 300 << qint64(300) << 300.0f
                               << 300.0 << "300";
    QTest::newRow("int8 -128") << CFType::createCFNumberInt8(char(-128)) << -128 << -128 << -128 << qint64(-128)
                               << -128.0f << -128.0 << "-128";
    QTest::newRow("2^53+1") << CFType::createCFNumberInt64(9007199254740993LL) << -1 << -1 << -1
                            << qint64(9007199254740993LL) << -1.0f << -1.0 << "9007199254740993";
    QTest::newRow("int64 min") << CFType::createCFNumberInt64(LLONG_MIN) << -1 << -1 << -1 << qint64(LLONG_MIN)
                               << float(LLONG_MIN) << double(LLONG_MIN) << "-9223372036854775808";
    QTest::newRow("float 0.1") << CFType::createCFNumberFloat(0.1f) << -1 << -1 << -1 << qint64(-1) << 0.1f
                               << double(0.1f) << "0.1";
    QTest::newRow("double 0.1") << CFType::createCFNumberDouble(0.1) << -1 << -1 << -1 << qint64(-1) << -1.0f << 0.1
                                << "0.1";
    QTest::newRow("double 1e300") << CFType::createCFNumberDouble(1e300) << -1 << -1 << -1 << qint64(-1) << -1.0f
                                  << 1e300 << "1e+300";
    QTest::newRow("CFIndex 7") << CFType::createCFNumberCFIndex(7) << 7 << 7 << 7 << qint64(7) << 7.0f << 7.0 << "7";
}

void TestCFType::numberReaders()
{
    QFETCH(CFType, value);
    QVERIFY(value.isCFNumber());
    QVERIFY(!value.isCFBoolean());
    QTEST(int(value.CFNumberInt8(char(-1))), "int8");
    QTEST(int(value.CFNumberInt16(-1)), "int16");
    QTEST(value.CFNumberInt(-1), "int32");
    QTEST(qint64(value.CFNumberInt64(-1)), "int64");
    QTEST(value.CFNumberFloat(-1.0f), "float32");
    QTEST(value.CFNumberDouble(-1.0), "float64");
    QTEST(value.toString(), "text");
    QCOMPARE(value.CFNumberBool(true), true); // a number is not a boolean
}

void TestCFType::booleans()
{
    const CFType yes = CFType::createCFBoolean(true);
    const CFType no = CFType::createCFBoolean(false);
    QVERIFY(yes.isCFBoolean() && !yes.isCFNumber());
    QCOMPARE(yes.CFNumberInt(5), 5);
    QCOMPARE(yes.CFNumberBool(false), true);
    QCOMPARE(no.CFNumberBool(true), false);
    QCOMPARE(yes.toString(), QStringLiteral("1"));
    QCOMPARE(no.toString(), QStringLiteral("0"));
    QCOMPARE(yes.ref(), CFType::createCFBoolean(true).ref()); // the shared constant
}

void TestCFType::strings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<long>("units");
    QTest::newRow("empty") << QString() << 0L;
    QTest::newRow("latin") << QStringLiteral("h\u00e9llo") << 5L;
    QTest::newRow("outside the BMP") << QStringLiteral("\U0001F600 \U0001D11E") << 5L;
    QTest::newRow("CJK") << QStringLiteral("\u77ed\u4fe1") << 2L;
    QTest::newRow("markup") << QStringLiteral("<a href=\"x\">&amp;</a>") << 21L;
}

void TestCFType::strings()
{
    QFETCH(QString, text);
    const CFType value = CFType::createCFString(text);
    QVERIFY(value.isCFString());
    QTEST(value.CFStringLength(), "units");
    QCOMPARE(value.CFStringQString(), text);
    QCOMPARE(value.toString(), text);
    QCOMPARE(CFType::createCFPropertyList(xml(value)).CFStringQString(), text);
    QCOMPARE(value.CFNumberInt(3), 3);
}

void TestCFType::dates()
{
    const CFType epoch = CFType::createCFDate(QDateTime(QDate(2001, 1, 1), QTime(0, 0, 0, 250), Qt::UTC));
    QCOMPARE(absoluteTime(epoch), 0.0); // milliseconds dropped
    const QDateTime gmt = epoch.CFDateToDateTime(static_cast<CFTimeZoneRef>(nullptr));
    QCOMPARE(gmt, QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::LocalTime));
    QCOMPARE(gmt.timeSpec(), Qt::LocalTime);
    QCOMPARE(epoch.toString(), QStringLiteral("Mon Jan 1 00:00:00 2001"));
    QCOMPARE(epoch.CFDateToDateTime(3600), QDateTime(QDate(2001, 1, 1), QTime(1, 0), Qt::LocalTime));
    QCOMPARE(epoch.CFDateToDateTime(QString()), gmt);
    QCOMPARE(epoch.CFDateToDateTime(QStringLiteral("No/Such_Zone")), gmt);
    QCOMPARE(epoch.CFDateToDateTime(QStringLiteral("Asia/Tokyo")), QDateTime(QDate(2001, 1, 1), QTime(9, 0), Qt::LocalTime));

    // Daylight saving time follows the instant.
    const CFType summer = CFType::createCFDate(QDateTime(QDate(2015, 7, 1), QTime(12, 0)));
    QCOMPARE(summer.CFDateToDateTime(QStringLiteral("Europe/Paris")).time(), QTime(14, 0));

    QCOMPARE(dateAt(59.999).CFDateToDateTime(0), QDateTime(QDate(2001, 1, 1), QTime(0, 0, 59), Qt::LocalTime));
    QCOMPARE(dateAt(-0.5).CFDateToDateTime(0), QDateTime(QDate(2000, 12, 31), QTime(23, 59, 59), Qt::LocalTime));

    for (const QDateTime& dt : {QDateTime(QDate(1970, 1, 1), QTime(0, 0)), QDateTime(QDate(2000, 2, 29), QTime(23, 59, 58)),
                                QDateTime(QDate(2100, 3, 1), QTime(1, 2, 3)), QDateTime(QDate(1900, 2, 28), QTime(0, 0))})
        QCOMPARE(CFType::createCFDate(dt).CFDateToDateTime(0), QDateTime(dt.date(), dt.time(), Qt::LocalTime));
    QVERIFY(!dateAt(std::nan("")).CFDateToDateTime(0).isValid());
}

void TestCFType::dataAndUids()
{
    const QByteArray bytes("a\0b\xff", 4);
    const CFType data = CFType::createCFData(bytes);
    QVERIFY(data.isCFData());
    QCOMPARE(data.CFDataLength(), 4L);
    QCOMPARE(data.CFDataBytes(), bytes);
    QVERIFY(CFType::createCFData(QByteArray()).isCFData());
    QCOMPARE(CFType::createCFData(QByteArray("\xc3\xa9", 2)).toString(), QStringLiteral("\u00e9"));

    const CFType uid = CFType::createCFKeyedArchiverUID(5);
    QVERIFY(uid.isCFKeyedArchiverUID() && !uid.isCFNumber());
    QCOMPARE(uid.CFKeyedArchiverUIDGetValue(), 5u);
    QCOMPARE(uid.toString(), QStringLiteral("5"));
    QCOMPARE(CFType::createCFNumberInt32(5).CFKeyedArchiverUIDGetValue(), 0u);
}

void TestCFType::dictionaries()
{
    CFType dict = CFType::createCFDictionary();
    dict.put(QStringLiteral("a"), CFType::createCFNumberInt32(1)).put(QStringLiteral("a"), CFType::createCFNumberInt32(2));
    QCOMPARE(dict.dict_size(), 1L);
    QCOMPARE(dict.get(QStringLiteral("a")).CFNumberInt(0), 2);
    QVERIFY(!dict.get(QStringLiteral("absent")).ref());
    dict.dict_replace(CFType::createCFString(QStringLiteral("absent")), CFType::createCFNumberInt32(3));
    QCOMPARE(dict.dict_size(), 1L);
    dict.dict_replace(CFType::createCFString(QStringLiteral("a")), CFType::createCFNumberInt32(3));
    QCOMPARE(dict.get(QStringLiteral("a")).CFNumberInt(0), 3);
    // Keys compare by value, numbers across their storage.
    dict.put(CFType::createCFNumberInt32(1), CFType::createCFString(QStringLiteral("one")));
    QCOMPARE(dict.get(CFType::createCFNumberDouble(1.0)).toString(), QStringLiteral("one"));
    QCOMPARE(dict.dict_keys().size(), 2);

    const CFType fixed = CFType::createCFDictionary(
        {CFType::createCFString("x"), CFType::createCFString("y"), CFType::createCFString("z")},
        {CFType::createCFNumberInt32(1), CFType::createCFNumberInt32(2)});
    QCOMPARE(fixed.dict_size(), 2L);
    QVERIFY(!fixed.get(QStringLiteral("z")).ref());

    CFType copy = CFType::createCFDictionaryCreateMutableCopy(fixed);
    copy.put(QStringLiteral("z"), CFType::createCFNumberInt32(3));
    QCOMPARE(copy.dict_size(), 3L);
    QCOMPARE(fixed.dict_size(), 2L);

    CFType array = CFType::createCFArray();
    QCOMPARE(&array.put(QStringLiteral("a"), CFType::createCFNumberInt32(1)), &array);
    QCOMPARE(array.array_size(), 0L);
    QVERIFY(!array.get(QStringLiteral("a")).ref());
    QVERIFY(!CFType::createCFString("s").get(QStringLiteral("s")).ref());
}

void TestCFType::arrays()
{
    CFType array = CFType::createCFArray();
    CFType copy = array;
    copy.append(CFType::createCFString(QStringLiteral("first")));
    QCOMPARE(array.array_size(), 1L);
    QCOMPARE(array.at(0).toString(), QStringLiteral("first"));
    for (int bad : {-1, 1, INT_MAX})
        QVERIFY(!array.at(bad).ref());
    array.array_replace(5, CFType::createCFString(QStringLiteral("x")));
    array.array_replace(0, CFType::createCFString(QStringLiteral("second")));
    QCOMPARE(array.array_size(), 1L);
    QCOMPARE(array.at(0).toString(), QStringLiteral("second"));

    CFType dict = CFType::createCFDictionary();
    dict.append(CFType::createCFString(QStringLiteral("x")));
    QCOMPARE(dict.dict_size(), 0L);

    const CFType fixed = CFType::createCFArray({CFType::createCFNumberInt32(1), CFType::createCFNumberInt32(2)});
    QCOMPARE(fixed.array_size(), 2L);
    QCOMPARE(fixed.at(1).CFNumberInt(0), 2);
}

void TestCFType::propertyListRoundTrip()
{
    const CFType value = nestedValue();
    const QByteArray binary = value.CFPropertyListToBytes(kCFPropertyListBinaryFormat_v1_0);
    QVERIFY(binary.startsWith("bplist00"));
    const CFType fromBinary = CFType::createCFPropertyList(binary);
    const CFType fromXml = CFType::createCFPropertyList(xml(value));
    QVERIFY(fromBinary.isCFDictionary() && fromXml.isCFDictionary());
    QCOMPARE(xml(fromBinary), xml(value));
    QCOMPARE(xml(fromXml), xml(value));
    const CFType list = fromXml.get(QStringLiteral("list"));
    QCOMPARE(list.at(0).CFNumberInt64(0), -5LL);
    QCOMPARE(list.at(1).CFNumberInt64(0), 9007199254740993LL);
    QVERIFY(list.at(3).isCFBoolean());
    QCOMPARE(list.at(4).CFKeyedArchiverUIDGetValue(), 7u); // XML keeps UIDs as CF$UID dictionaries
    QCOMPARE(fromBinary.get(QStringLiteral("date")).CFDateToDateTime(0).toString(Qt::ISODate),
             QStringLiteral("2013-05-06T07:08:09"));

    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("v.plist")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(binary);
    file.close();
    QCOMPARE(xml(CFType::createCFPropertyListFromFile(file.fileName())), xml(value));
    QVERIFY(!CFType::createCFPropertyListFromFile(dir.filePath(QStringLiteral("missing"))).ref());
    QVERIFY(!CFType::createCFPropertyListFromFile(dir.path()).ref());

    const QByteArray text = xml(CFType::createCFString(QStringLiteral("top")));
    QVERIFY(text.contains("<plist version=\"1.0\">\n<string>top</string>\n</plist>"));
}

void TestCFType::propertyListFailures()
{
    QVERIFY(!CFType::createCFPropertyList(QByteArray()).ref());
    QVERIFY(!CFType::createCFPropertyList("not a property list").ref());
    QVERIFY(nestedValue().CFPropertyListToBytes(300).isEmpty());
    // Keys that are not strings cannot be written.
    CFType dict = CFType::createCFDictionary();
    dict.put(CFType::createCFNumberInt32(1), CFType::createCFNumberInt32(2));
    QVERIFY(xml(dict).isEmpty());
    QVERIFY(!CFType::clone(dict).ref());
    // A container that holds itself is refused, not followed forever.
    CFType loop = CFType::createCFArray();
    loop.append(loop);
    QVERIFY(xml(loop).isEmpty());
    loop.array_replace(0, CFType::createCFString(QStringLiteral("break the cycle")));
}

void TestCFType::cloneIsDeepAndImmutable()
{
    CFType source = nestedValue();
    CFType copy = CFType::clone(source);
    QVERIFY(copy.ref() != source.ref());
    QCOMPARE(xml(copy), xml(source));
    source.put(QStringLiteral("later"), CFType::createCFNumberInt32(1));
    QVERIFY(!copy.get(QStringLiteral("later")).ref());
    copy.put(QStringLiteral("later"), CFType::createCFNumberInt32(1));
    QVERIFY(!copy.get(QStringLiteral("later")).ref());
    QVERIFY(!CFType::clone(CFType()).ref());
}

void TestCFType::readsPythonPlists_data()
{
    QTest::addColumn<bool>("binary");
    QTest::newRow("binary") << true;
    QTest::newRow("xml") << false;
}

void TestCFType::readsPythonPlists()
{
    QFETCH(bool, binary);
    QString error;
    const QByteArray bytes = PythonPlist::dump(
        "{'neg': -5, 'big': 2**62, 'min': -2**63, 'real': 0.1, 'yes': True, 'text': 'h\\u00e9 \\U0001F600',"
        " 'data': b'\\x00\\xff', 'date': datetime.datetime(2013, 5, 6, 7, 8, 9),"
        " 'list': [1, [2, {}]]" + QString(binary ? ", 'uid': UID(3)}" : "}"),
        binary, &error);
    if (bytes.isNull())
        QSKIP(qPrintable("python3 with plistlib is not available: " + error));
    const CFType v = CFType::createCFPropertyList(bytes);
    QVERIFY(v.isCFDictionary());
    QCOMPARE(v.get(QStringLiteral("neg")).CFNumberInt(0), -5);
    QCOMPARE(v.get(QStringLiteral("big")).CFNumberInt64(0), 1LL << 62);
    QCOMPARE(v.get(QStringLiteral("min")).CFNumberInt64(0), LLONG_MIN);
    QCOMPARE(v.get(QStringLiteral("real")).CFNumberDouble(0), 0.1);
    QCOMPARE(v.get(QStringLiteral("yes")).CFNumberBool(false), true);
    QCOMPARE(v.get(QStringLiteral("text")).CFStringQString(), QStringLiteral("h\u00e9 \U0001F600"));
    QCOMPARE(v.get(QStringLiteral("data")).CFDataBytes(), QByteArray("\x00\xff", 2));
    QCOMPARE(v.get(QStringLiteral("date")).CFDateToDateTime(0), QDateTime(QDate(2013, 5, 6), QTime(7, 8, 9), Qt::LocalTime));
    QCOMPARE(v.get(QStringLiteral("list")).at(1).at(0).CFNumberInt(0), 2);
    if (binary) // plistlib writes UIDs in binary property lists only
        QCOMPARE(v.get(QStringLiteral("uid")).CFKeyedArchiverUIDGetValue(), 3u);
}

void TestCFType::pythonReadsOurs_data()
{
    readsPythonPlists_data();
}

void TestCFType::pythonReadsOurs()
{
    QFETCH(bool, binary);
    CFType value = nestedValue();
    value.put(QStringLiteral("min"), CFType::createCFNumberInt64(LLONG_MIN));
    value.put(QStringLiteral("past"), CFType::createCFDate(QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59))));
    QString error;
    const QByteArray json = PythonPlist::readAsJson(
        value.CFPropertyListToBytes(binary ? kCFPropertyListBinaryFormat_v1_0 : kCFPropertyListXMLFormat_v1_0), &error);
    if (json.isNull())
        QSKIP(qPrintable("python3 with plistlib could not read: " + error));
    // In XML a UID is the dictionary that plistlib shows as it stands.
    const QByteArray uid = binary ? "\"uid:7\"" : "{\"CF$UID\": 7}";
    QCOMPARE(json, "{\"data\": \"hex:0001ff\", \"date\": \"date:2013-05-06T07:08:09\", \"empty\": {}, "
                   "\"list\": [-5, 9007199254740993, 0.1, true, " + uid + "], \"min\": -9223372036854775808, "
                   "\"past\": \"date:1999-12-31T23:59:59\", \"text\": \"h\xc3\xa9llo \xf0\x9f\x98\x80\"}");
}

void TestCFType::malformedPropertyLists_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("cyclic array") << binaryPlist({QByteArray("\xa1\x00", 2)});
    QTest::newRow("cycle through a dictionary")
        << binaryPlist({QByteArray("\xd1\x01\x02", 3), QByteArray("\x51k", 2), QByteArray("\xa1\x00", 2)});
    QTest::newRow("reference past the objects") << binaryPlist({QByteArray("\xa1\x07", 2)});
    QTest::newRow("count past the end") << binaryPlist({QByteArray("\xaf\x10\x7f\x00", 4)});
    QTest::newRow("string past the end") << binaryPlist({QByteArray("\x5f\x10\x7f" "ab", 5)});
    QTest::newRow("only the magic") << QByteArray("bplist00");
    QTest::newRow("unclosed xml") << QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>");
    QTest::newRow("xml nested too deep") << QByteArray("<plist version=\"1.0\">") + QByteArray("<array>").repeated(100000)
                                                + QByteArray("</array>").repeated(100000) + QByteArray("</plist>");
}

void TestCFType::malformedPropertyLists()
{
    QFETCH(QByteArray, bytes);
    const CFType value = CFType::createCFPropertyList(bytes);
    QVERIFY(!value.ref());
}

// Every truncation and every single-byte change of a valid binary plist is
// read without a fault (the sanitizers watch); whatever comes back is usable.
void TestCFType::corruptedBytesNeverCrash()
{
    const QByteArray good = nestedValue().CFPropertyListToBytes(kCFPropertyListBinaryFormat_v1_0);
    for (int length = 0; length < good.size(); ++length)
        xml(CFType::createCFPropertyList(good.left(length)));
    for (int i = 8; i < good.size(); ++i) {
        for (char b : {'\x00', '\x7f', '\xff'}) {
            QByteArray bad = good;
            bad[i] = b;
            const CFType value = CFType::createCFPropertyList(bad);
            xml(value);
            value.NSKeyedArchiver();
            CFType::parseNSDictionaryStringCFType(value);
        }
    }
}

void TestCFType::keyedArchiveRoundTrip()
{
    QHash<QString, CFType> hash;
    hash.insert(QStringLiteral("name"), CFType::createCFString(QStringLiteral("value")));
    hash.insert(QStringLiteral("count"), CFType::createCFNumberInt32(42));
    const CFType archive = CFType::createNSDictionaryStringCFType(hash, true);
    QCOMPARE(archive.get(QStringLiteral("$objects")).array_size(), 7L);
    QCOMPARE(archive.get(QStringLiteral("$version")).CFNumberInt(0), 100000);
    QCOMPARE(archive.get(QStringLiteral("$objects")).at(6).get(QStringLiteral("$classname")).toString(),
             QStringLiteral("NSMutableDictionary"));

    // As it travels: written out, read back.
    const CFType read = CFType::createCFPropertyList(archive.CFPropertyListToBytes(kCFPropertyListBinaryFormat_v1_0));
    const QHash<QString, CFType> back = CFType::parseNSDictionaryStringCFType(read);
    QCOMPARE(back.size(), 2);
    QCOMPARE(back.value(QStringLiteral("name")).CFStringQString(), QStringLiteral("value"));
    QCOMPARE(back.value(QStringLiteral("count")).CFNumberInt(0), 42);

    const CFType empty = CFType::createNSDictionaryStringCFType({}, false);
    QCOMPARE(empty.get(QStringLiteral("$objects")).array_size(), 3L);
    QCOMPARE(empty.get(QStringLiteral("$objects")).at(1).get(QStringLiteral("$class")).CFKeyedArchiverUIDGetValue(), 2u);
    QVERIFY(CFType::parseNSDictionaryStringCFType(empty).isEmpty());
}

void TestCFType::keyedArchiveRootFields()
{
    CFType root = CFType::createCFDictionary();
    root.put(QStringLiteral("ref"), CFType::createCFKeyedArchiverUID(3));
    root.put(QStringLiteral("plain"), CFType::createCFNumberInt32(10));
    CFType objects = CFType::createCFArray();
    objects.append(CFType::createCFString(QStringLiteral("$null")))
        .append(root)
        .append(CFType::createCFString(QStringLiteral("unused")))
        .append(CFType::createCFString(QStringLiteral("third")));
    CFType top = CFType::createCFDictionary();
    top.put(QStringLiteral("root"), CFType::createCFKeyedArchiverUID(1));
    CFType archive = CFType::createCFDictionary();
    archive.put(QStringLiteral("$objects"), objects).put(QStringLiteral("$top"), top);

    const QHash<QString, CFType> fields = archive.NSKeyedArchiver();
    QCOMPARE(fields.size(), 2);
    QCOMPARE(fields.value(QStringLiteral("ref")).toString(), QStringLiteral("third"));
    QCOMPARE(fields.value(QStringLiteral("plain")).CFNumberInt(0), 10);

    // A root that is no UID: NSKeyedArchiver reads item 0, the parser nothing.
    top.put(QStringLiteral("root"), CFType::createCFNumberInt32(1));
    QVERIFY(archive.NSKeyedArchiver().isEmpty()); // item 0 is "$null", no dictionary
    QVERIFY(CFType::parseNSDictionaryStringCFType(archive).isEmpty());
}

void TestCFType::hostileKeyedArchives_data()
{
    QTest::addColumn<QString>("rootUid");   // "$top" root
    QTest::addColumn<QString>("keyUid");    // the one NS.keys item
    QTest::addColumn<QString>("valueUid");  // the one NS.objects item
    QTest::addColumn<int>("parsed");        // entries parseNSDictionaryStringCFType gives
    QTest::addColumn<int>("rootFields");    // entries NSKeyedArchiver gives

    QTest::newRow("valid") << "1" << "2" << "3" << 1 << 2;
    QTest::newRow("root past the objects") << "99" << "2" << "3" << 0 << 0;
    QTest::newRow("root at the largest UID") << "4294967295" << "2" << "3" << 0 << 0;
    QTest::newRow("key past the objects") << "1" << "50" << "3" << 1 << 2;
    QTest::newRow("value past the objects") << "1" << "2" << "2147483648" << 1 << 2;
    QTest::newRow("root pointing at a string") << "2" << "2" << "3" << 0 << 0;
    QTest::newRow("root pointing at itself through $null") << "0" << "0" << "0" << 0 << 0;
}

void TestCFType::hostileKeyedArchives()
{
    QFETCH(QString, rootUid);
    QFETCH(QString, keyUid);
    QFETCH(QString, valueUid);
    // Built as the bytes of a file would arrive.
    const QByteArray text = QStringLiteral(
        "<plist version=\"1.0\"><dict>"
        "<key>$top</key><dict><key>root</key><dict><key>CF$UID</key><integer>%1</integer></dict></dict>"
        "<key>$objects</key><array><string>$null</string>"
        "<dict><key>NS.keys</key><array><dict><key>CF$UID</key><integer>%2</integer></dict></array>"
        "<key>NS.objects</key><array><dict><key>CF$UID</key><integer>%3</integer></dict></array></dict>"
        "<string>key</string><string>value</string></array></dict></plist>")
                                 .arg(rootUid, keyUid, valueUid)
                                 .toUtf8();
    const CFType archive = CFType::createCFPropertyList(text);
    QVERIFY(archive.isCFDictionary());
    const QHash<QString, CFType> entries = CFType::parseNSDictionaryStringCFType(archive);
    QTEST(int(entries.size()), "parsed");
    if (keyUid == "2" && valueUid == "3" && !entries.isEmpty())
        QCOMPARE(entries.value(QStringLiteral("key")).CFStringQString(), QStringLiteral("value"));
    if (!entries.isEmpty() && valueUid != "3")
        QVERIFY(!entries.begin().value().ref());
    QTEST(int(archive.NSKeyedArchiver().size()), "rootFields");
}

// A null key or value never enters a container, nor replaces what is there.
void TestCFType::mutatorsIgnoreNullKeysAndValues()
{
    CFType dict = CFType::createCFDictionary();
    dict.put(QStringLiteral("a"), CFType::createCFNumberInt32(1));
    dict.put(QStringLiteral("b"), CFType());
    dict.put(CFType(), CFType::createCFNumberInt32(2));
    dict.dict_replace(CFType::createCFString(QStringLiteral("a")), CFType());
    dict.dict_replace(CFType(), CFType::createCFNumberInt32(3));
    QCOMPARE(dict.dict_size(), 1L);
    QCOMPARE(dict.get(QStringLiteral("a")).CFNumberInt(0), 1);
    QVERIFY(!dict.get(CFType()).ref());

    CFType array = CFType::createCFArray();
    array.append(CFType()).append(CFType::createCFString(QStringLiteral("x"))).append(CFType());
    array.array_replace(0, CFType());
    array.array_replace(1, CFType());
    QCOMPARE(array.array_size(), 1L);
    QCOMPARE(array.at(0).toString(), QStringLiteral("x"));
    QVERIFY(!xml(array).isEmpty());
}

// A null value is archived as the "$null" text: the values after it keep
// their places, so every key still reads its own value back.
void TestCFType::keyedArchiveNullKeepsLaterIndexes()
{
    QHash<QString, CFType> hash;
    for (int i = 0; i < 8; ++i)
        hash.insert(QStringLiteral("k%1").arg(i), i % 3 == 1 ? CFType() : CFType::createCFNumberInt32(i));
    const CFType archive = CFType::createNSDictionaryStringCFType(hash, false);
    const CFType objects = archive.get(QStringLiteral("$objects"));
    QCOMPARE(objects.array_size(), long(2 + 2 * hash.size() + 1));
    QCOMPARE(objects.at(int(objects.array_size()) - 1).get(QStringLiteral("$classname")).toString(),
             QStringLiteral("NSDictionary"));
    const QHash<QString, CFType> back =
        CFType::parseNSDictionaryStringCFType(CFType::createCFPropertyList(archive.CFPropertyListToBytes(
            kCFPropertyListBinaryFormat_v1_0)));
    QCOMPARE(back.size(), hash.size());
    for (int i = 0; i < 8; ++i) {
        const CFType value = back.value(QStringLiteral("k%1").arg(i));
        if (i % 3 == 1)
            QCOMPARE(value.toString(), QStringLiteral("$null"));
        else
            QCOMPARE(value.CFNumberInt(-1), i);
    }
}

// Property-list dates are whole 32-bit seconds since 2001: a date outside
// that range fails to write rather than wrapping to another date.
void TestCFType::datesOutside32BitsFailToWrite_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<bool>("written");
    QTest::newRow("largest") << 2147483647.0 << true;
    QTest::newRow("smallest") << -2147483648.0 << true;
    QTest::newRow("one past the largest") << 2147483648.0 << false;
    QTest::newRow("2^32, which wraps to 0") << 4294967296.0 << false;
    QTest::newRow("one before the smallest") << -2147483649.0 << false;
    QTest::newRow("infinite") << double(INFINITY) << false;
}

void TestCFType::datesOutside32BitsFailToWrite()
{
    QFETCH(double, seconds);
    QFETCH(bool, written);
    CFType array = CFType::createCFArray();
    array.append(dateAt(seconds));
    for (long format : {kCFPropertyListBinaryFormat_v1_0, kCFPropertyListXMLFormat_v1_0}) {
        const QByteArray bytes = array.CFPropertyListToBytes(format);
        QCOMPARE(!bytes.isEmpty(), written);
        if (written)
            QCOMPARE(absoluteTime(CFType::createCFPropertyList(bytes).at(0)), seconds);
    }
}

// A property-list file over 256 MiB is refused unread; the same shape
// smaller reads.
void TestCFType::propertyListFileSizeLimit()
{
    QTemporaryDir dir;
    const QString small = dir.filePath("small.plist");
    writeSparsePlist(small, 1000);
    QCOMPARE(CFType::createCFPropertyListFromFile(small).CFNumberInt(0), 42);
    const QString large = dir.filePath("large.plist");
    const qint64 limit = 256LL * 1024 * 1024;
    writeSparsePlist(large, limit + 1 - 46);
    QCOMPARE(QFileInfo(large).size(), limit + 1);
    QVERIFY(!CFType::createCFPropertyListFromFile(large).ref());
}

// Nesting beyond 512 levels is refused, also where libplist itself reads
// the file without complaint.
void TestCFType::nestingLimit_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("read");
    QTest::newRow("513 arrays: 512 levels below the top") << 513 << true;
    QTest::newRow("514 arrays") << 514 << false;
    QTest::newRow("3000 arrays") << 3000 << false;
}

void TestCFType::nestingLimit()
{
    QFETCH(int, depth);
    QFETCH(bool, read);
    const QByteArray bytes = nestedArrays(depth);
    plist_t node = nullptr;
    plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &node);
    QVERIFY(node); // libplist accepts it
    plist_free(node);
    const CFType value = CFType::createCFPropertyList(bytes);
    QCOMPARE(value.isCFArray(), read);
}

QTEST_GUILESS_MAIN(TestCFType)
#include "tst_cftype.moc"
