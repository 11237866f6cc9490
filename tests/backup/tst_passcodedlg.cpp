// The backup password check behind its progress dialog, and the password
// dialog, on an encrypted backup fixture; boxes are answered by a watcher.
#include "data_path_util.h"
#include "backupmanifest.h"
#include "encryptedbackupfixture.h"
#include "mobiledevice_loader.h"
#include "modalwatcher.h"
#include "passcodedlg.h"
#include "progressform.h"
#include "translation.h"
#include "temphome.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kPassword = QStringLiteral("open sesame");

struct SeenProgress
{
    int count = 0;
    bool cancelEnabled = true;
    int maxProgress = 0;
};

// Records every progress dialog the watcher sees, without closing it.
void watchProgress(ModalWatcher& watcher, SeenProgress& seen)
{
    watcher.onDialog([&seen](QWidget* w) {
        auto* form = qobject_cast<ProgressForm*>(w);
        if (!form)
            return false;
        ++seen.count;
        seen.cancelEnabled = form->findChild<QPushButton*>("btnCancel")->isEnabled();
        seen.maxProgress = qMax(seen.maxProgress, form->findChild<QProgressBar*>("progressBar")->value());
        return false;
    });
}

} // namespace

class TestPasscodeDlg : public QObject
{
    Q_OBJECT

    // An unlocked encrypted index is decrypted into the data folder.
    TempHome m_home;

private slots:
    void initTestCase();
    void init();
    void setPasscode_data();
    void setPasscode();
    void setPasscodeReportsUnlockErrors();
    void dialogEmptyWrongThenRight();
    void dialogCancel();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<BackupManifest> m_backup;
};

void TestPasscodeDlg::initTestCase()
{
    g_resetDataSaveDirForTests();
    qputenv("QUILLSPROUT_SERVER", "127.0.0.1:1"); // error reports go nowhere
    QVERIFY(installEnglishTranslation(qApp));
    QString error;
    QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
}

void TestPasscodeDlg::init()
{
    m_dir.reset(new QTemporaryDir);
    KeybagFixture keybag(kPassword, 10, 5);
    keybag.addClass(3);
    BackupFixture fixture(m_dir->path(), BackupFixture::Generation::ManifestDb);
    fixture.addFile("HomeDomain", "Library/SMS/sms.db", "sms");
    BackupFixtureManifest manifest;
    manifest.uniqueDeviceId = "udid";
    EncryptedBackupFixture::write(fixture, keybag, manifest);
    m_backup.reset(new BackupManifest(m_dir->path()));
    m_backup->readManifestInfo();
}

void TestPasscodeDlg::setPasscode_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("right") << kPassword << true;
    QTest::newRow("wrong") << "open sesam" << false;
}

void TestPasscodeDlg::setPasscode()
{
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    ModalWatcher watcher;
    SeenProgress seen;
    watchProgress(watcher, seen);
    QCOMPARE(m_backup->setPasscode(password), accepted);
    QCOMPARE(m_backup->password, accepted ? kPassword : QString());
    QVERIFY(watcher.shown().isEmpty());
    if (seen.count > 0) {
        QVERIFY(!seen.cancelEnabled);
        QVERIFY(seen.maxProgress == 0 || seen.maxProgress == 99);
    }
}

void TestPasscodeDlg::setPasscodeReportsUnlockErrors()
{
    QFile::resize(m_dir->filePath("Manifest.db"), 20);
    ModalWatcher watcher;
    QVERIFY(!m_backup->setPasscode(kPassword));
    QCOMPARE(watcher.shown().size(), 1);
    QVERIFY2(watcher.shown().first().text.contains(
                 "IOSiTunesBKSetPasswordThread: Manifest.db, POLARSSL_ERR_AES_INVALID_INPUT_LENGTH (rd%16 != 0)."),
             qPrintable(watcher.shown().first().text));
    QVERIFY(m_backup->password.isEmpty());
}

void TestPasscodeDlg::dialogEmptyWrongThenRight()
{
    PasscodeDlg dlg(m_backup.get(), nullptr);
    QVERIFY(dlg.windowFlags() & Qt::FramelessWindowHint);
    auto* field = dlg.findChild<QLineEdit*>("txtPasscode");
    auto* ok = dlg.findChild<QPushButton*>("btnOK");
    QCOMPARE(field->echoMode(), QLineEdit::Password);
    QCOMPARE(field->placeholderText(), QString("Enter password"));
    dlg.show();

    ModalWatcher watcher;
    SeenProgress seen;
    watchProgress(watcher, seen);
    emit ok->pressed();
    QCOMPARE(watcher.shown().size(), 1);
    QCOMPARE(watcher.shown().at(0).text, QString("Password is required."));
    QCOMPARE(seen.count, 0);

    field->setText("wrong");
    emit ok->pressed();
    QCOMPARE(watcher.shown().size(), 2);
    QCOMPARE(watcher.shown().at(1).text, QString("Invalid password."));
    QVERIFY(field->text().isEmpty());
    QVERIFY(dlg.isVisible());
    QVERIFY(dlg.password.isEmpty());

    field->setText(kPassword);
    emit ok->pressed();
    QCOMPARE(watcher.shown().size(), 2);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.password, kPassword);
    QCOMPARE(m_backup->password, kPassword);
}

void TestPasscodeDlg::dialogCancel()
{
    PasscodeDlg dlg(m_backup.get(), nullptr);
    QTimer::singleShot(0, &dlg, [&dlg] { emit dlg.findChild<QPushButton*>("btnCancel")->pressed(); });
    QCOMPARE(dlg.exec(), 0);
    QVERIFY(dlg.password.isEmpty());
}

QTEST_MAIN(TestPasscodeDlg)
#include "tst_passcodedlg.moc"
