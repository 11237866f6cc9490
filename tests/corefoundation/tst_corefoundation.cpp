// The CoreFoundation stand-in's own behaviour, through its C interface.
#include "bplistfixture.h"
#include "cfstandin.h"

#include <QTest>

#include <cmath>
#include <cstring>

namespace {

CFStringRef str(const char* utf8)
{
    return CFStringCreateWithBytes(nullptr, reinterpret_cast<const uint8_t*>(utf8), CFIndex(std::strlen(utf8)),
                                   kCFStringEncodingUTF8, 0);
}

template <typename T>
CFNumberRef num(CFNumberType type, T v)
{
    return CFNumberCreate(nullptr, type, &v);
}

} // namespace

class TestCoreFoundation : public QObject
{
    Q_OBJECT

private slots:
    void typeIdsAreDistinct();
    void canonicalNumberTypes_data();
    void canonicalNumberTypes();
    void losslessConversions();
    void stringBytes();
    void containersOwnTheirItems();
    void immutableContainersStayUnchanged();
    void gregorianDates();
    void timeZones();
    void dataRanges();
    void propertyListFormatAndOptions();
    void sharedObjectsOfMutableLists();
    void plistBridge();
};

void TestCoreFoundation::typeIdsAreDistinct()
{
    const QList<CFTypeID> ids{CFNullGetTypeID(),     CFStringGetTypeID(),           CFNumberGetTypeID(),
                              CFBooleanGetTypeID(),  CFDateGetTypeID(),             CFDataGetTypeID(),
                              CFArrayGetTypeID(),    _CFKeyedArchiverUIDGetTypeID(), CFDictionaryGetTypeID()};
    for (int i = 0; i < ids.size(); ++i)
        QCOMPARE(ids.count(ids[i]), qsizetype(1));
    QCOMPARE(CFGetTypeID(kCFBooleanTrue), CFBooleanGetTypeID());
    QCOMPARE(CFGetRetainCount(nullptr), CFIndex(0));
}

void TestCoreFoundation::canonicalNumberTypes_data()
{
    QTest::addColumn<int>("created");
    QTest::addColumn<int>("reported");
    const int rows[][2] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 1},
                           {8, 2}, {9, 3}, {10, 4}, {11, 4}, {12, 5}, {13, 6}, {14, 4}};
    for (const auto& row : rows)
        QTest::addRow("%d", row[0]) << row[0] << row[1];
}

void TestCoreFoundation::canonicalNumberTypes()
{
    QFETCH(int, created);
    const long long storage = 0; // large enough for every type, all bytes zero
    CFNumberRef n = CFNumberCreate(nullptr, created, &storage);
    QTEST(int(CFNumberGetType(n)), "reported");
    CFRelease(n);
    QVERIFY(!CFNumberCreate(nullptr, 99, &storage));
}

void TestCoreFoundation::losslessConversions()
{
    CFNumberRef big = num<long long>(kCFNumberSInt64Type, 1LL << 40);
    int32_t i32 = 7;
    QVERIFY(!CFNumberGetValue(big, kCFNumberSInt32Type, &i32));
    double d = 0;
    QVERIFY(CFNumberGetValue(big, kCFNumberFloat64Type, &d));
    QCOMPARE(d, 1099511627776.0);

    CFNumberRef huge = num<double>(kCFNumberFloat64Type, 1e300);
    long long i64 = 0;
    QVERIFY(!CFNumberGetValue(huge, kCFNumberSInt64Type, &i64)); // saturates, no undefined cast
    QCOMPARE(i64, LLONG_MAX);
    float f = 0;
    QVERIFY(!CFNumberGetValue(huge, kCFNumberFloat32Type, &f));

    CFNumberRef nan = num<double>(kCFNumberFloat64Type, std::nan(""));
    QVERIFY(!CFNumberGetValue(nan, kCFNumberSInt32Type, &i32));
    QVERIFY(CFNumberGetValue(nan, kCFNumberFloat32Type, &f));

    int8_t byte = 9;
    QVERIFY(CFNumberGetValue(reinterpret_cast<CFNumberRef>(kCFBooleanTrue), kCFNumberSInt8Type, &byte));
    QCOMPARE(byte, int8_t(1));
    QVERIFY(CFNumberGetValue(reinterpret_cast<CFNumberRef>(kCFBooleanFalse), kCFNumberSInt8Type, &byte));
    QCOMPARE(byte, int8_t(0));
    for (CFNumberRef n : {big, huge, nan})
        CFRelease(n);
}

void TestCoreFoundation::stringBytes()
{
    CFStringRef s = str("a\xf0\x9f\x98\x80z"); // a, one pair of surrogates, z
    QCOMPARE(CFStringGetLength(s), CFIndex(4));
    uint8_t buffer[8];
    CFIndex used = 0;
    // Only whole characters go into a buffer that is too small.
    QCOMPARE(CFStringGetBytes(s, {0, 4}, kCFStringEncodingUTF8, '?', 0, buffer, 3, &used), CFIndex(1));
    QCOMPARE(used, CFIndex(1));
    // A range that splits the pair gives the loss byte, or stops without one.
    QCOMPARE(CFStringGetBytes(s, {0, 2}, kCFStringEncodingUTF8, '?', 0, buffer, 8, &used), CFIndex(2));
    QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), int(used)), QByteArray("a?"));
    QCOMPARE(CFStringGetBytes(s, {0, 2}, kCFStringEncodingUTF8, 0, 0, nullptr, 0, &used), CFIndex(1));
    QCOMPARE(CFStringGetBytes(s, {3, 5}, kCFStringEncodingUTF8, '?', 0, nullptr, 0, &used), CFIndex(0));
    QCOMPARE(CFStringGetBytes(s, {0, 4}, 0x0600, '?', 0, nullptr, 0, &used), CFIndex(0));
    CFRelease(s);

    QVERIFY(!str("\xff\xfe bad"));
    QVERIFY(!str("\xc3"));
    CFStringRef empty = str("");
    QCOMPARE(CFStringGetLength(empty), CFIndex(0));
    CFRelease(empty);
}

void TestCoreFoundation::containersOwnTheirItems()
{
    CFStringRef key = str("k");
    CFNumberRef value = num<int>(kCFNumberIntType, 1);
    CFMutableDictionaryRef dict =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(dict, key, value);
    QCOMPARE(CFGetRetainCount(key), CFIndex(2));
    QCOMPARE(CFGetRetainCount(value), CFIndex(2));
    CFNumberRef other = num<int>(kCFNumberIntType, 2);
    CFDictionarySetValue(dict, key, other); // replaces: the old value is released
    QCOMPARE(CFGetRetainCount(value), CFIndex(1));
    CFStringRef equalKey = str("k");
    QCOMPARE(CFDictionaryGetValue(dict, equalKey), static_cast<const void*>(other));
    CFRelease(dict);
    QCOMPARE(CFGetRetainCount(key), CFIndex(1));
    QCOMPARE(CFGetRetainCount(other), CFIndex(1));

    CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(array, value);
    CFArraySetValueAtIndex(array, 0, other);
    QCOMPARE(CFGetRetainCount(value), CFIndex(1));
    QCOMPARE(CFGetRetainCount(other), CFIndex(2));
    QVERIFY(!CFArrayGetValueAtIndex(array, 1));
    QVERIFY(!CFArrayGetValueAtIndex(array, -1));
    CFRelease(array);
    for (CFTypeRef o : {CFTypeRef(key), CFTypeRef(value), CFTypeRef(other), CFTypeRef(equalKey)})
        CFRelease(o);
}

void TestCoreFoundation::immutableContainersStayUnchanged()
{
    CFStringRef item = str("x");
    const void* items[] = {item};
    CFArrayRef array = CFArrayCreate(nullptr, items, 1, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(reinterpret_cast<CFMutableArrayRef>(const_cast<QSCFOpaqueArray*>(array)), item);
    QCOMPARE(CFArrayGetCount(array), CFIndex(1));
    CFDictionaryRef dict = CFDictionaryCreate(nullptr, items, items, 1, nullptr, nullptr);
    CFDictionarySetValue(reinterpret_cast<CFMutableDictionaryRef>(const_cast<QSCFOpaqueDictionary*>(dict)), array, item);
    QCOMPARE(CFDictionaryGetCount(dict), CFIndex(1));
    CFRelease(array);
    CFRelease(dict);
    CFRelease(item);
}

void TestCoreFoundation::gregorianDates()
{
    const CFGregorianDate leap = CFAbsoluteTimeGetGregorianDate(-86400.0 * 307 + 3723.5, nullptr);
    QCOMPARE(leap.year, 2000);
    QCOMPARE(int(leap.month), 2);
    QCOMPARE(int(leap.day), 29);
    QCOMPARE(int(leap.hour), 1);
    QCOMPARE(int(leap.minute), 2);
    QCOMPARE(leap.second, 3.5);
    QCOMPARE(CFGregorianDateGetAbsoluteTime(leap, nullptr), -86400.0 * 307 + 3723.5);
    // Month 13 carries into the next year.
    QCOMPARE(CFGregorianDateGetAbsoluteTime(CFGregorianDate{2000, 13, 1, 0, 0, 0}, nullptr), 0.0);
    const CFGregorianDate none = CFAbsoluteTimeGetGregorianDate(INFINITY, nullptr);
    QCOMPARE(int(none.month), 0);
}

void TestCoreFoundation::timeZones()
{
    QVERIFY(!CFTimeZoneCreateWithTimeIntervalFromGMT(nullptr, 19 * 3600.0));
    QVERIFY(!CFTimeZoneCreateWithTimeIntervalFromGMT(nullptr, std::nan("")));
    CFStringRef name = str("America/New_York");
    CFTimeZoneRef zone = CFTimeZoneCreateWithName(nullptr, name, 1);
    QVERIFY(zone);
    const CFGregorianDate winter{2015, 1, 15, 12, 0, 0};
    const CFGregorianDate summer{2015, 7, 15, 12, 0, 0};
    QCOMPARE(CFGregorianDateGetAbsoluteTime(winter, zone) - CFGregorianDateGetAbsoluteTime(winter, nullptr), 5 * 3600.0);
    QCOMPARE(CFGregorianDateGetAbsoluteTime(summer, zone) - CFGregorianDateGetAbsoluteTime(summer, nullptr), 4 * 3600.0);
    CFRelease(zone);
    CFRelease(name);
    CFStringRef unknown = str("Nowhere/Nothing");
    QVERIFY(!CFTimeZoneCreateWithName(nullptr, unknown, 1));
    CFRelease(unknown);
}

void TestCoreFoundation::dataRanges()
{
    const uint8_t bytes[] = {1, 2, 3};
    CFDataRef data = CFDataCreate(nullptr, bytes, 3);
    uint8_t out[3] = {9, 9, 9};
    CFDataGetBytes(data, {1, 3}, out); // past the end: nothing copied
    QCOMPARE(out[0], uint8_t(9));
    CFDataGetBytes(data, {1, 2}, out);
    QCOMPARE(out[1], uint8_t(3));
    QVERIFY(!CFDataCreate(nullptr, bytes, -1));
    CFRelease(data);
}

void TestCoreFoundation::propertyListFormatAndOptions()
{
    const QByteArray text = "<plist version=\"1.0\"><array><integer>-3</integer></array></plist>";
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const uint8_t*>(text.constData()), text.size());
    CFPropertyListFormat format = 0;
    CFArrayRef array = static_cast<CFArrayRef>(
        CFPropertyListCreateWithData(nullptr, data, kCFPropertyListMutableContainers, &format, nullptr));
    QCOMPARE(format, CFPropertyListFormat(kCFPropertyListXMLFormat_v1_0));
    long long v = 0;
    QVERIFY(CFNumberGetValue(static_cast<CFNumberRef>(CFArrayGetValueAtIndex(array, 0)), kCFNumberSInt64Type, &v));
    QCOMPARE(v, -3LL);
    CFArrayAppendValue(const_cast<QSCFOpaqueArray*>(array), kCFBooleanTrue); // mutable as asked
    QCOMPARE(CFArrayGetCount(array), CFIndex(2));

    CFDataRef binary = CFPropertyListCreateData(nullptr, array, kCFPropertyListBinaryFormat_v1_0, 0, nullptr);
    CFTypeRef back = CFPropertyListCreateWithData(nullptr, binary, 0, &format, nullptr);
    QCOMPARE(format, CFPropertyListFormat(kCFPropertyListBinaryFormat_v1_0));
    QCOMPARE(CFArrayGetCount(static_cast<CFArrayRef>(back)), CFIndex(2));
    for (CFTypeRef o : {CFTypeRef(data), CFTypeRef(array), CFTypeRef(binary), back})
        CFRelease(o);
}

// An object reached many ways is shared when the list is immutable; mutable
// containers are built per reference, and a list that would need more of
// them than it could hold is refused instead of filling the memory.
void TestCoreFoundation::sharedObjectsOfMutableLists()
{
    using B = BplistFixture;
    const auto read = [](const QByteArray& bytes, CFOptionFlags options) {
        CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
        CFTypeRef list = CFPropertyListCreateWithData(nullptr, data, options, nullptr, nullptr);
        CFRelease(data);
        return list;
    };
    B twice;
    twice.add(B::array({1, 1}));
    twice.add(B::array({2}));
    twice.add(B::ascii("x"));
    CFArrayRef outer = static_cast<CFArrayRef>(read(twice.bytes(), kCFPropertyListMutableContainers));
    QVERIFY(outer);
    auto first = static_cast<CFMutableArrayRef>(const_cast<void*>(CFArrayGetValueAtIndex(outer, 0)));
    CFArrayAppendValue(first, kCFBooleanTrue);
    QCOMPARE(CFArrayGetCount(static_cast<CFArrayRef>(CFArrayGetValueAtIndex(outer, 1))), CFIndex(1));
    CFRelease(outer);

    B doubling;
    for (int i = 0; i < 40; ++i)
        doubling.add(B::array({i + 1, i + 1}));
    doubling.add(B::ascii("leaf"));
    CFTypeRef shared = read(doubling.bytes(), 0);
    QVERIFY(shared);
    CFRelease(shared);
    QVERIFY(!read(doubling.bytes(), kCFPropertyListMutableContainers));
}

void TestCoreFoundation::plistBridge()
{
    // libplist's binary reader keeps a key with U+0000 that its own key
    // getter would abort on; the bridge keeps it whole.
    const QByteArray zeroKey = [] {
        BplistFixture b;
        b.add(BplistFixture::dict({1}, {2}));
        b.add(BplistFixture::utf16(QString("a") + QChar(0)));
        b.add(BplistFixture::integer(1));
        return b.bytes();
    }();
    plist_t parsed = nullptr;
    plist_from_memory(zeroKey.constData(), uint32_t(zeroKey.size()), &parsed);
    QVERIFY(parsed);
    CFTypeRef fromParsed = QSCFCreateFromPlist(parsed);
    QVERIFY(fromParsed);
    const void* keys[1] = {nullptr};
    const void* values[1] = {nullptr};
    QCOMPARE(CFDictionaryGetCount(static_cast<CFDictionaryRef>(fromParsed)), CFIndex(1));
    CFDictionaryGetKeysAndValues(static_cast<CFDictionaryRef>(fromParsed), keys, values);
    QCOMPARE(CFStringGetLength(static_cast<CFStringRef>(keys[0])), CFIndex(2));
    CFRelease(fromParsed);
    plist_free(parsed);


    plist_t node = plist_new_dict();
    plist_dict_set_item(node, "n", plist_new_uint(uint64_t(-7)));
    plist_dict_set_item(node, "u", plist_new_uid(4));
    CFTypeRef object = QSCFCreateFromPlist(node);
    CFStringRef key = str("n");
    long long v = 0;
    QVERIFY(CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(object), key)),
                             kCFNumberSInt64Type, &v));
    QCOMPARE(v, -7LL);
    plist_t copy = QSCFCopyPlist(object);
    QVERIFY(copy);
    QCOMPARE(plist_get_node_type(plist_dict_get_item(copy, "u")), PLIST_UID);
    QVERIFY(!QSCFCopyPlist(nullptr));
    QVERIFY(!QSCFCreateFromPlist(nullptr));
    plist_free(copy);
    plist_free(node);
    CFRelease(object);
    CFRelease(key);
}

QTEST_GUILESS_MAIN(TestCoreFoundation)
#include "tst_corefoundation.moc"
