// Known-answer tests of the crypto primitives the backup code is built on.
#include "backupcrypto.h"

#include <QtTest>

class TestBackupCrypto : public QObject
{
    Q_OBJECT

private slots:
    void pbkdf2Sha1_data();
    void pbkdf2Sha1();
    void pbkdf2Sha256_data();
    void pbkdf2Sha256();
    void keyWrapRfc3394();
    void keyUnwrapRejects_data();
    void keyUnwrapRejects();
    void aesCbcNistVector();
    void aesCbcChunkedEqualsWhole();
    void aesCbcRefusesPartialBlocks();
    void sha1HexOfParts();
};

void TestBackupCrypto::pbkdf2Sha1_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("salt");
    QTest::addColumn<int>("rounds");
    QTest::addColumn<QByteArray>("expected");
    // RFC 6070.
    QTest::newRow("c=1") << QByteArray("password") << QByteArray("salt") << 1
                         << QByteArray::fromHex("0c60c80f961f0e71f3a9b524af6012062fe037a6");
    QTest::newRow("c=2") << QByteArray("password") << QByteArray("salt") << 2
                         << QByteArray::fromHex("ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957");
    QTest::newRow("c=4096") << QByteArray("password") << QByteArray("salt") << 4096
                            << QByteArray::fromHex("4b007901b765489abead49d926f721d065a429c1");
    QTest::newRow("long") << QByteArray("passwordPASSWORDpassword")
                          << QByteArray("saltSALTsaltSALTsaltSALTsaltSALTsalt") << 4096
                          << QByteArray::fromHex("3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038");
    QTest::newRow("nul") << QByteArray("pass\0word", 9) << QByteArray("sa\0lt", 5) << 4096
                         << QByteArray::fromHex("56fa6aa75548099dcc37d7f03425e0c3");
}

void TestBackupCrypto::pbkdf2Sha1()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, salt);
    QFETCH(int, rounds);
    QFETCH(QByteArray, expected);
    QCOMPARE(pbkdf2HmacSha1(password, salt, quint32(rounds), expected.size()).toHex(), expected.toHex());
}

void TestBackupCrypto::pbkdf2Sha256_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("salt");
    QTest::addColumn<int>("rounds");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("c=1") << QByteArray("password") << QByteArray("salt") << 1
                         << QByteArray::fromHex("120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
    QTest::newRow("c=4096") << QByteArray("password") << QByteArray("salt") << 4096
                            << QByteArray::fromHex("c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");
    // RFC 7914, section 11.
    QTest::newRow("passwd") << QByteArray("passwd") << QByteArray("salt") << 1
                            << QByteArray::fromHex("55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
                                                   "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
}

void TestBackupCrypto::pbkdf2Sha256()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, salt);
    QFETCH(int, rounds);
    QFETCH(QByteArray, expected);
    QCOMPARE(pbkdf2HmacSha256(password, salt, quint32(rounds), expected.size()).toHex(), expected.toHex());
}

// RFC 3394 section 4.6: 256 bits of key data with a 256-bit key-encryption key.
static const QByteArray kKek = QByteArray::fromHex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F");
static const QByteArray kKeyData = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF000102030405060708090A0B0C0D0E0F");
static const QByteArray kWrapped = QByteArray::fromHex("28C9F404C4B810F4CBCCB35CFB87F8263F5786E2D80ED326CBC7F0E71A99F43BFB988B9B7A02DD21");

void TestBackupCrypto::keyWrapRfc3394()
{
    QCOMPARE(aes_key_wrap(kKek, kKeyData).toHex(), kWrapped.toHex());
    QCOMPARE(aes_key_unwrap(kKek, kWrapped).toHex(), kKeyData.toHex());
    // Bytes beyond the last whole block are ignored, as is the key beyond 32 bytes.
    QCOMPARE(aes_key_unwrap(kKek + "xyz", kWrapped + "abc").toHex(), kKeyData.toHex());
}

void TestBackupCrypto::keyUnwrapRejects_data()
{
    QTest::addColumn<QByteArray>("kek");
    QTest::addColumn<QByteArray>("wrapped");
    QByteArray tampered = kWrapped;
    tampered[20] = char(tampered[20] ^ 1);
    QTest::newRow("integrity") << kKek << tampered;
    QTest::newRow("short kek") << kKek.left(31) << kWrapped;
    QTest::newRow("one block") << kKek << kWrapped.left(8);
    QTest::newRow("empty") << kKek << QByteArray();
    QTest::newRow("wrong kek") << QByteArray(32, 'k') << kWrapped;
}

void TestBackupCrypto::keyUnwrapRejects()
{
    QFETCH(QByteArray, kek);
    QFETCH(QByteArray, wrapped);
    QVERIFY(aes_key_unwrap(kek, wrapped).isEmpty());
}

// NIST SP 800-38A F.2.5, first block.
void TestBackupCrypto::aesCbcNistVector()
{
    const QByteArray key = QByteArray::fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    const QByteArray iv = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
    const QByteArray plain = QByteArray::fromHex("6bc1bee22e409f96e93d7e117393172a");
    QByteArray out(16, '\0');
    AesContext enc;
    QVERIFY(enc.init(true, key, iv.constData()));
    QVERIFY(enc.update(plain.constData(), 16, out.data()));
    QCOMPARE(out.toHex(), QByteArray("f58c4c04d6e5f1ba779eabfb5f7bfbd6"));
    AesContext dec;
    QVERIFY(dec.init(false, key, iv.constData()));
    QVERIFY(dec.update(out.constData(), 16, out.data()));
    QCOMPARE(out, plain);
}

void TestBackupCrypto::aesCbcChunkedEqualsWhole()
{
    const QByteArray key(32, '\x42');
    QByteArray plain(4096, '\0');
    for (int i = 0; i < plain.size(); ++i)
        plain[i] = char(i * 7);
    QByteArray whole(plain.size(), '\0');
    AesContext one;
    QVERIFY(one.init(true, key));
    QVERIFY(one.update(plain.constData(), plain.size(), whole.data()));

    QByteArray chunked = plain;
    AesContext many;
    QVERIFY(many.init(true, key));
    for (int off = 0; off < chunked.size(); off += 1024)
        QVERIFY(many.update(chunked.constData() + off, 1024, chunked.data() + off));
    QCOMPARE(chunked, whole);
}

void TestBackupCrypto::aesCbcRefusesPartialBlocks()
{
    AesContext ctx;
    QVERIFY(!ctx.init(false, QByteArray(31, 'k')));
    QVERIFY(ctx.init(false, QByteArray(32, 'k')));
    char buf[32] = {};
    QVERIFY(!ctx.update(buf, 20, buf));
    QVERIFY(ctx.update(buf, 0, buf));
}

// The parts hash as their concatenation; the digest state kept for the thread
// starts afresh each time.
void TestBackupCrypto::sha1HexOfParts()
{
    const QString abc = QStringLiteral("a9993e364706816aba3e25717850c26c9cd0d89d");
    QCOMPARE(BackupCrypto::sha1Hex({"abc"}), abc);
    QCOMPARE(BackupCrypto::sha1Hex({"a", QByteArrayView(), "", "bc"}), abc);
    QCOMPARE(BackupCrypto::sha1Hex({}), QStringLiteral("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
    const QByteArray long1000(1000, 'x');
    QCOMPARE(BackupCrypto::sha1Hex({long1000}), QString::fromLatin1(BackupCrypto::sha1(long1000).toHex()));
    QCOMPARE(BackupCrypto::sha1Hex({"abc"}), abc);
}

QTEST_GUILESS_MAIN(TestBackupCrypto)
#include "tst_backupcrypto.moc"

