// Decrypting, encrypting and copying stored files.
#include "backupfilecipher.h"
#include "keybagfixture.h"

#include <QtTest>

#include <stdexcept>

#include <sys/stat.h>

class TestBackupFileCipher : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void roundTrip_data();
    void roundTrip();
    void decryptRejectsBadInput_data();
    void decryptRejectsBadInput();
    void paddingIfPresent_data();
    void paddingIfPresent();
    void missingFiles_data();
    void missingFiles();
    void encryptWithoutKeyNeverOverwrites();
    void copyReportsProgress();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    void write(const QString& name, const QByteArray& data);
    QByteArray read(const QString& name);
    QString errorOf(const std::function<void()>& call);

    std::unique_ptr<QTemporaryDir> m_dir;
    const QByteArray m_key = KeybagFixture::randomBytes(32);
};

void TestBackupFileCipher::init()
{
    m_dir.reset(new QTemporaryDir);
}

void TestBackupFileCipher::write(const QString& name, const QByteArray& data)
{
    QFile f(path(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray TestBackupFileCipher::read(const QString& name)
{
    QFile f(path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QString TestBackupFileCipher::errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

static void countChunks(qint64 total, qint64 done, void* context)
{
    auto* calls = static_cast<QList<QPair<qint64, qint64>>*>(context);
    calls->append({total, done});
}

void TestBackupFileCipher::roundTrip_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("storedSize");
    // Past 1 MiB the file takes more than one read: the CBC chain and the
    // progress steps carry over from one to the next.
    for (int size : {0, 1, 15, 16, 17, 8191, 8192, 8193, 20000, (1 << 20) - 16, 3 * (1 << 19) + 5})
        QTest::newRow(qPrintable(QString::number(size))) << size << (size / 16 + 1) * 16;
}

// The stored format matches an independent encryption, and decrypts back.
void TestBackupFileCipher::roundTrip()
{
    QFETCH(int, size);
    QFETCH(int, storedSize);
    const QByteArray plain = KeybagFixture::randomBytes(size);
    write("plain", plain);
    backupEncryptFileThrow(path("plain"), path("stored"), m_key);
    const QByteArray stored = read("stored");
    QCOMPARE(stored.size(), storedSize);
    QCOMPARE(stored, KeybagFixture::encrypt(m_key, plain));

    QList<QPair<qint64, qint64>> calls;
    backupDecryptFileThrow(m_key, path("stored"), path("sub/dir/out"), &calls, countChunks);
    QCOMPARE(read("sub/dir/out"), plain);
    QCOMPARE(calls.size(), (storedSize + 8191) / 8192);
    QCOMPARE(calls.last(), qMakePair(qint64(storedSize), qint64(storedSize)));
}

void TestBackupFileCipher::decryptRejectsBadInput_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("error");
    const QByteArray key = m_key;
    auto withLastByte = [&](char last) {
        QByteArray plain = KeybagFixture::randomBytes(8192 + 16);
        plain[plain.size() - 1] = last;
        QByteArray stored = KeybagFixture::encrypt(key, plain);
        return stored.left(plain.size()); // drop the padding block the fixture added
    };
    const QString padding = "BackupManifest::decryptFile, last byte must GT 0 and LET 16";
    QTest::newRow("pad 0") << withLastByte(0) << padding;
    QTest::newRow("pad 17") << withLastByte(17) << padding;
    QTest::newRow("pad 0x80") << withLastByte(char(0x80)) << padding;
    QTest::newRow("20 bytes") << QByteArray(20, 'x')
                              << "stored, POLARSSL_ERR_AES_INVALID_INPUT_LENGTH (rd%16 != 0).";
}

// Bad stored bytes fail with the exact text and leave no target behind.
void TestBackupFileCipher::decryptRejectsBadInput()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, error);
    write("stored", stored);
    QCOMPARE(errorOf([&] { backupDecryptFileThrow(m_key, path("stored"), path("out"), nullptr, nullptr); }),
             error);
    QVERIFY(!QFile::exists(path("out")));
}

// Manifest.db as other tools write it: a padding block is dropped only when
// it is whole and valid, and whole pages are never cut.
void TestBackupFileCipher::paddingIfPresent_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<bool>("padded");
    QByteArray page(4096, 'p');
    QTest::newRow("whole pages, padded") << page << true;
    QTest::newRow("whole pages, no padding") << page << false;
    page[4095] = 1;
    QTest::newRow("whole pages ending in 1, no padding") << page << false;
    page.replace(4080, 16, QByteArray(16, 16));
    QTest::newRow("whole pages ending like a padding block") << page << false;
    QTest::newRow("not whole pages, padded") << QByteArray(100, 'x') << true;
    QTest::newRow("not whole pages, invalid padding kept") << QByteArray(87, 'x') + QByteArray("\2\2\2\2\2\2\2\2\3", 9)
                                                           << false;
}

void TestBackupFileCipher::paddingIfPresent()
{
    QFETCH(QByteArray, plain);
    QFETCH(bool, padded);
    const QByteArray stored = KeybagFixture::encrypt(m_key, plain);
    write("Manifest.db", padded ? stored : stored.left(plain.size()));
    backupDecryptFileThrow(m_key, path("Manifest.db"), path("plain.db"), nullptr, nullptr, BackupPadding::IfPresent);
    QCOMPARE(read("plain.db"), plain);
}

void TestBackupFileCipher::missingFiles_data()
{
    QTest::addColumn<int>("operation"); // 0 decrypt, 1 copy, 2 encrypt
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("errorStart");
    QTest::newRow("decrypt no source") << 0 << "none" << "out" << "can not open ";
    QTest::newRow("copy no source") << 1 << "none" << "out" << "can not open ";
    QTest::newRow("encrypt no source") << 2 << "none" << "out" << "can not open ";
    QTest::newRow("encrypt no folder") << 2 << "src" << "nofolder/out" << "can not create ";
    QTest::newRow("decrypt target is folder") << 0 << "src" << "folder" << "can not create ";
    QTest::newRow("copy onto a fifo") << 1 << "src" << "fifo" << "can not create ";
}

void TestBackupFileCipher::missingFiles()
{
    QFETCH(int, operation);
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(QString, errorStart);
    write("src", KeybagFixture::encrypt(m_key, "hello"));
    QDir(m_dir->path()).mkdir("folder");
    QCOMPARE(mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    const QString src = path(source);
    const QString dst = path(target);
    const QString error = errorOf([&] {
        if (operation == 0)
            backupDecryptFileThrow(m_key, src, dst, nullptr, nullptr);
        else if (operation == 1)
            backupCopyFileThrow(src, dst, nullptr, nullptr);
        else
            backupEncryptFileThrow(src, dst, m_key);
    });
    QVERIFY2(error.startsWith(errorStart), qPrintable(error));
    if (source == "none")
        QVERIFY(error.contains(src));
}

void TestBackupFileCipher::encryptWithoutKeyNeverOverwrites()
{
    write("src", "new");
    write("dst", "old");
    QCOMPARE(errorOf([&] { backupEncryptFileThrow(path("src"), path("dst"), QByteArray()); }).left(19),
             QString("can not write " + path("dst")).left(19));
    QCOMPARE(read("dst"), QByteArray("old"));
    backupEncryptFileThrow(path("src"), path("dst"), m_key);
    QCOMPARE(KeybagFixture::decrypt(m_key, read("dst")), QByteArray("new"));
    backupEncryptFileThrow(path("src"), path("copy"), QByteArray());
    QCOMPARE(read("copy"), QByteArray("new"));
}

void TestBackupFileCipher::copyReportsProgress()
{
    const QByteArray data = KeybagFixture::randomBytes(3 * 8192 + 5);
    write("src", data);
    QList<QPair<qint64, qint64>> calls;
    backupCopyFileThrow(path("src"), path("a/b/dst"), &calls, countChunks);
    QCOMPARE(read("a/b/dst"), data);
    QCOMPARE(calls.size(), 4);
    QCOMPARE(calls.at(1), qMakePair(qint64(data.size()), qint64(2 * 8192)));
}

QTEST_GUILESS_MAIN(TestBackupFileCipher)
#include "tst_backupfilecipher.moc"
