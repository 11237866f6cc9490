// The advice texts that replace or follow the backup tool's failure texts:
// which failures get steps to follow, which restore failure wins when
// several apply, the free-space figure, and the closing line.
#include "iosbackupadvice.h"
#include "makerserver.h"

#include <QtTest>

namespace {

const QString kHeadingLost = "Connection to device lost. Please try the following solutions: <br/><br/>";
const QString kHeadingConnect = "Failed to connect your iPhone. Please try the following solutions: <br/><br/>";
const QString kStepsA = "A:<br/>Step 1) Restart your iPhone.<br/>Step 2) Connect your iPhone to iTunes to backup your "
                        "iPhone on computer. <br/>Step 3) Run Quillsprout software to try again. <br/><br/>";
const QString kRestart = "<br/><br/>Note: You can restart your device to try again.";

// The parts of the text without the link targets, which are ours to choose.
QString withoutLinks(QString text)
{
    static const QRegularExpression href(QStringLiteral("<a href=\"[^\"]*\">"));
    return text.replace(href, QStringLiteral("<a>"));
}

const QString kStepsB = "B:<br/>Step 1) Delete the lockdown folder from your computer.(<a>How to</a>) <br/>Step 2) "
                        "Connect your iPhone to iTunes to backup your iPhone on computer.<br/>Step 3) Run Quillsprout "
                        "software to try again. <br/>";
const QString kBackupTutorial = "<br/><br/>Note: You can follow this <a><b>tutorial</b></a> to try.";
const QString kRestoreTutorial = "<br/><br/>Tip: You can follow this <a><b>tutorial</b></a> to try.";
const QString kFindMy = "Please follow <a> this tutorial</a> to disable \"Find my iPhone\" first and then restart "
                        "your iPhone to try again.<br/><br/>";

QString freeSpace(const QString& gigabytes)
{
    return gigabytes + " GB free disk space on your device is required restore data.  Please remove some camera roll "
                       "videos from your device to computer to free up disk space first and then try again.";
}

} // namespace

class TestIOSBackupAdvice : public QObject
{
    Q_OBJECT

private slots:
    void backupAdvice_data();
    void backupAdvice();
    void restoreAdvice_data();
    void restoreAdvice();
    void linksAreAnchors();
};

void TestIOSBackupAdvice::backupAdvice_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("tutorial");
    QTest::addColumn<QString>("expected");
    QTest::newRow("other text, tutorial") << "error code:-30. 104 Multiple errors." << true
                                          << "error code:-30. 104 Multiple errors." + kBackupTutorial;
    QTest::newRow("other text, no tutorial") << "boom" << false << "boom" + kRestart;
    QTest::newRow("connection lost") << "error code:-2. Connection to device lost (x)" << true
                                     << kHeadingLost + kStepsA + kStepsB + kBackupTutorial;
    QTest::newRow("setup, lower case") << "212 unable to backup UNTIL setup is FINISHED" << true
                                       << kHeadingConnect + kStepsA + kStepsB + kBackupTutorial;
    QTest::newRow("both phrases: lost heading") << "until Setup is finished; connection to device lost" << false
                                                << kHeadingLost + kStepsA + kStepsB + kRestart;
    QTest::newRow("empty") << "" << false << kRestart;
}

void TestIOSBackupAdvice::backupAdvice()
{
    QFETCH(QString, message);
    QFETCH(bool, tutorial);
    QFETCH(QString, expected);
    QCOMPARE(withoutLinks(iosbackup_backup_advice(message, tutorial)), expected);
}

void TestIOSBackupAdvice::restoreAdvice_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("tutorial");
    QTest::addColumn<QString>("expected");
    const QString space = "Insufficient free disk space on device to restore (1024 bytes needed 2147483648)";
    QTest::newRow("other text") << "error code:-20. 205 Digest" << true << "error code:-20. 205 Digest" + kRestoreTutorial;
    QTest::newRow("other text, no tutorial") << "x" << false << "x" + kRestart;
    QTest::newRow("find my iphone, any case") << "find my iphone MUST be disabled" << true << kFindMy + kRestoreTutorial;
    QTest::newRow("find my iphone wins over free space")
        << "Find My iPhone must be disabled. " + space << false << kFindMy + kRestart;
    QTest::newRow("free space 2 GB") << "code -36: " + space.toLower() << true << freeSpace("2") + kRestoreTutorial;
    QTest::newRow("free space rounds to one digit")
        << "Insufficient free disk space on device to restore (1 of 3865470566)" << false << freeSpace("4") + kRestart;
    QTest::newRow("free space of 10 GB in exponent form")
        << "Insufficient free disk space on device to restore (5 b 10737418240)" << false << freeSpace("1e+01") + kRestart;
    QTest::newRow("free space without numbers is other text")
        << "Insufficient free disk space on device to restore" << false
        << "Insufficient free disk space on device to restore" + kRestart;
    QTest::newRow("free space wins over connection lost")
        << "Connection to device lost. " + space << false << freeSpace("2") + kRestart;
    QTest::newRow("setup") << "until Setup is finished" << true << kHeadingConnect + kStepsA + kStepsB + kRestoreTutorial;
}

void TestIOSBackupAdvice::restoreAdvice()
{
    QFETCH(QString, message);
    QFETCH(bool, tutorial);
    QFETCH(QString, expected);
    QCOMPARE(withoutLinks(iosbackup_restore_advice(message, tutorial)), expected);
}

// Every link is an anchor to the maker's guide pages.
void TestIOSBackupAdvice::linksAreAnchors()
{
    const QString text = iosbackup_backup_advice("Connection to device lost", true)
        + iosbackup_restore_advice("Find My iPhone must be disabled", true);
    const QString guides = g_makerServerUrl(QStringLiteral("/guide/")).toString();
    const QRegularExpression anchor("<a href=\"" + QRegularExpression::escape(guides) + "[a-z-]+\\.html\">");
    QCOMPARE(text.count(anchor), 4);
    QCOMPARE(text.count("<a "), 4);
}

QTEST_GUILESS_MAIN(TestIOSBackupAdvice)
#include "tst_iosbackupadvice.moc"
