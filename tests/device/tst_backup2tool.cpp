// The backup-tool driver against the tool stand-in: the simulated backend
// plays replies, failures, crashes and stalls from the scenario; the real
// backend runs a stand-in idevicebackup2 script printing recorded output.
#include "backup2tool.h"

#include "mobiledevice_loader.h"
#include "simdevicescenario.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

const char* const kUdid = "0123456789abcdef0123456789abcdef01234567";

struct Update
{
    double pg;
    QString status1;
    QString status2;
};

QList<Update> updates(const QSignalSpy& spy)
{
    QList<Update> out;
    for (const QList<QVariant>& args : spy)
        out.append({args.at(0).toDouble(), args.at(1).toString(), args.at(2).toString()});
    return out;
}

// The text of the run's exception, empty when it returned.
QString runError(backup2tool& tool, const _backup2tool_req& req)
{
    try {
        tool.runThrow(req);
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

plist_t numbers(std::initializer_list<double> values)
{
    plist_t array = plist_new_array();
    for (double v : values)
        plist_array_append_item(array, v == double(qint64(v)) ? plist_new_uint(uint64_t(qint64(v))) : plist_new_real(v));
    return array;
}

// Alive and not a zombie waiting to be reaped.
bool running(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray fields = stat.readAll();
    const int afterName = fields.lastIndexOf(')');
    return afterName > 0 && fields.mid(afterName + 2, 1) != "Z";
}

_backup2tool_req restoreRequest(const QString& password)
{
    _backup2tool_req req(backup2tool_op_restore);
    req.password = password;
    return req;
}

} // namespace

class TestBackup2Tool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void progressThenSuccess();
    void errorCodes_data();
    void errorCodes();
    void percentages();
    void otherRepliesAndGarbage();
    void restoreRequestCarriesPasswordOnlyWhenSet_data();
    void restoreRequestCarriesPasswordOnlyWhenSet();
    void cancelDuringASilentWait();
    void stallReportsInvalidResponseUntilCancel();
    void brokenTool_data();
    void brokenTool();
    void toolMissing();
    void descriptorZeroIsAnOpenEnd();
    void deadToolFailsTheWriteAndTheProgramLives();
    void unknownOperation();
    void realBackend_data();
    void realBackend();
    void realBackendStoppedOnCancel();

private:
    // The scenario's BackupTool dictionary of the phone.
    plist_t behaviour() { return m_scenario.dict(m_scenario.device(kUdid), "BackupTool"); }
    void useScenario();
    void useScript(const QByteArray& output, int status);
    QString file(const QString& name) const { return m_dir->filePath(name); }

    QScopedPointer<QTemporaryDir> m_dir;
    QScopedPointer<backup2tool> m_tool;
    SimDeviceScenario m_scenario;
};

void TestBackup2Tool::initTestCase()
{
    QString error;
    QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
}

void TestBackup2Tool::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    plist_dict_remove_item(m_scenario.device(kUdid), "BackupTool");
    plist_dict_set_item(behaviour(), "RequestLog", plist_new_string(qPrintable(file("request.xml"))));
    m_tool.reset(new backup2tool(nullptr, QString::fromLatin1(kUdid), QDir(file("root"))));
    m_tool->setWaits(2000, 50);
    qunsetenv("QUILLSPROUT_IDEVICEBACKUP2");
}

void TestBackup2Tool::useScenario()
{
    QVERIFY(m_scenario.write(file("scenario.plist")));
    qputenv("QUILLSPROUT_DEVICE_SIM", QFile::encodeName(file("scenario.plist")));
}

// A stand-in idevicebackup2 that records its arguments and its pid, prints
// `output` and exits with `status`.
void TestBackup2Tool::useScript(const QByteArray& output, int status)
{
    QFile out(file("output.txt"));
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(output) == output.size());
    out.close();
    QFile script(file("idevicebackup2"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\necho $$ > '%2'\ncat '%3'\n")
                     .arg(file("args.txt"), file("pid.txt"), file("output.txt"))
                     .toUtf8());
    script.write(status < 0 ? "exec sleep 30\n" : QByteArray("exit ") + QByteArray::number(status) + "\n");
    script.close();
    QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
    qunsetenv("QUILLSPROUT_DEVICE_SIM");
    qputenv("QUILLSPROUT_IDEVICEBACKUP2", QFile::encodeName(file("idevicebackup2")));
}

void TestBackup2Tool::progressThenSuccess()
{
    plist_dict_set_item(behaviour(), "Progress", numbers({10, 55, 100}));
    useScenario();
    QSignalSpy spy(m_tool.data(), &backup2tool::update);
    QCOMPARE(runError(*m_tool, _backup2tool_req(backup2tool_op_backup)), QString());
    const QList<Update> got = updates(spy);
    QCOMPARE(got.size(), 3);
    QCOMPARE(got.at(1).pg, 55.0);
    QCOMPARE(got.at(2).pg, 100.0);
    QVERIFY(got.at(2).status1.isEmpty() && got.at(2).status2.isEmpty());
    QCOMPARE(m_tool->progress(), 100.0);
    for (const char* name : {"Info.plist", "Manifest.plist", "Status.plist"})
        QVERIFY2(QFile::exists(file("root/%1/%2").arg(kUdid, name)), name);
    // The tool checked the request; it is a backup of this device into the root.
    const CFType request = CFType::createCFPropertyListFromFile(file("request.xml"));
    QCOMPARE(request.get("AMSRequestKey").CFStringQString(), QStringLiteral("AMSBackupRequest"));
    QCOMPARE(request.get("AMSDeviceIdentifierKey").CFStringQString(), QStringLiteral("-1"));
    QCOMPARE(request.get("AMSMessageSignatureKey").array_size(), 3L);
    QCOMPARE(request.get("AMSBackupOptionsKey").get("RootDirectory").CFStringQString(), file("root"));
}

void TestBackup2Tool::errorCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("op");
    QTest::addColumn<QString>("text");
    const int b = backup2tool_op_backup;
    const int r = backup2tool_op_restore;
    QTest::newRow("-1") << -1 << b << "because they are being used by another process. Please restart your iPhone and computer";
    QTest::newRow("-2") << -2 << r << "Connecting to device failed: Unknown error.";
    QTest::newRow("-10") << -10 << b << "Error attaching to device.";
    QTest::newRow("-19") << -19 << b << "disable \"Automatically sync when this iPhone connected\"";
    QTest::newRow("-20 backup") << -20 << b << "205 Error creating backup directory. Please click \"Tools\"-&gt;";
    QTest::newRow("-20 restore") << -20 << r << "Restore message response: 205 Digest didn't match for some files";
    QTest::newRow("-21") << -21 << r << "ERROR: Backup cancelled (MBErrorDomain/202), Pleae restart";
    QTest::newRow("-30") << -30 << b << "104 Multiple errors uploading files.";
    QTest::newRow("-35") << -35 << b << "because it's locked.";
    QTest::newRow("-36 backup") << -36 << b << "Insufficient free disk space on drive to back up. Not enough free disk space on your computer.";
    QTest::newRow("-36 restore") << -36 << r << "Insufficient free disk space on device to back up. Not enough free disk space on your Device.";
    QTest::newRow("-37") << -37 << b << "\">this tutorial</a> to disable \"Find my iPhone\" first";
    QTest::newRow("-38") << -38 << r << "212 Unable to backup until Setup is finished";
    QTest::newRow("unknown negative") << -99 << b << "Please restart your iPhone to try again.";
    QTest::newRow("unknown positive") << 7 << r << "Please restart your iPhone to try again.";
}

void TestBackup2Tool::errorCodes()
{
    QFETCH(int, code);
    QFETCH(int, op);
    QFETCH(QString, text);
    plist_dict_set_item(behaviour(), "ErrorCode", plist_new_uint(uint64_t(qint64(code))));
    useScenario();
    const QString error = runError(*m_tool, _backup2tool_req(backup2tool_op(op)));
    QVERIFY2(error.startsWith(QStringLiteral("error code:%1. ").arg(code)), qPrintable(error));
    QVERIFY2(error.contains(text), qPrintable(error));
    QVERIFY(!QFile::exists(file("root/%1/Status.plist").arg(kUdid)));
}

void TestBackup2Tool::percentages()
{
    // A fractional percentage is kept, values out of range are clamped.
    plist_dict_set_item(behaviour(), "Progress", numbers({12.5, 250}));
    useScenario();
    QSignalSpy spy(m_tool.data(), &backup2tool::update);
    QCOMPARE(runError(*m_tool, _backup2tool_req(backup2tool_op_backup)), QString());
    const QList<Update> got = updates(spy);
    QCOMPARE(got.size(), 2);
    QCOMPARE(got.at(0).pg, 12.5);
    QCOMPARE(got.at(1).pg, 100.0);
}

void TestBackup2Tool::otherRepliesAndGarbage()
{
    plist_t b = behaviour();
    plist_dict_set_item(b, "Progress", numbers({40}));
    plist_t messages = plist_new_array();
    plist_t zero = plist_new_dict();
    plist_dict_set_item(zero, "errorCode", plist_new_uint(0));
    plist_array_append_item(messages, zero);
    plist_t mixed = plist_new_dict(); // a percentage beside another key is no progress
    plist_dict_set_item(mixed, "AMSBackupPercentageKey", plist_new_uint(90));
    plist_dict_set_item(mixed, "Note", plist_new_string("x"));
    plist_array_append_item(messages, mixed);
    plist_array_append_item(messages, plist_new_string("not a dictionary"));
    plist_dict_set_item(b, "Messages", messages);
    plist_dict_set_item(b, "Garbage", plist_new_bool(1));
    plist_dict_set_item(b, "BinaryReplies", plist_new_bool(1));
    useScenario();
    QSignalSpy spy(m_tool.data(), &backup2tool::update);
    QCOMPARE(runError(*m_tool, _backup2tool_req(backup2tool_op_backup)), QString());
    const QList<Update> got = updates(spy);
    QCOMPARE(got.size(), 5);
    QCOMPARE(got.at(1).status1, QStringLiteral("Unknown Message"));
    QCOMPARE(got.at(1).status2, QStringLiteral(",errorCode:0"));
    QCOMPARE(got.at(2).status1, QStringLiteral("Unknown Message"));
    QVERIFY(got.at(2).status2.contains(",AMSBackupPercentageKey:90"));
    QCOMPARE(got.at(2).pg, 40.0);
    QCOMPARE(got.at(3).status1, QStringLiteral("Invalid Response"));
    QCOMPARE(got.at(4).status2, QStringLiteral("Invalid Response"));
    QCOMPARE(got.at(4).pg, 40.0);
}

void TestBackup2Tool::restoreRequestCarriesPasswordOnlyWhenSet_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("none") << QString();
    QTest::newRow("set") << QStringLiteral("s3cret");
}

void TestBackup2Tool::restoreRequestCarriesPasswordOnlyWhenSet()
{
    QFETCH(QString, password);
    plist_dict_set_item(behaviour(), "RestoreInto", plist_new_string(qPrintable(file("device"))));
    useScenario();
    // Without a backup in the root the restore fails.
    QVERIFY(runError(*m_tool, restoreRequest(password)).startsWith("error code:"));
    QCOMPARE(runError(*m_tool, _backup2tool_req(backup2tool_op_backup)), QString());
    QCOMPARE(runError(*m_tool, restoreRequest(password)), QString());
    QVERIFY(QFile::exists(file("device/Manifest.plist")));
    const CFType request = CFType::createCFPropertyListFromFile(file("request.xml"));
    QCOMPARE(request.get("AMSRequestKey").CFStringQString(), QStringLiteral("AMSRestoreWithApplicationsRequest"));
    QCOMPARE(request.get("AMSSourceTargetIdentifierKey").CFStringQString(), QString::fromLatin1(kUdid));
    QCOMPARE(request.get("AMSMessageSignatureKey").array_size(), 5L);
    const CFType options = request.get("AMSRestoreRestoreOptionsKey");
    QCOMPARE(options.get("RestoreDontCopyBackup").CFNumberBool(false), true);
    QCOMPARE(options.get("Password").ref() != nullptr, !password.isEmpty());
    QCOMPARE(options.get("Password").CFStringQString(), password);
}

void TestBackup2Tool::cancelDuringASilentWait()
{
    plist_dict_set_item(behaviour(), "End", plist_new_string("stall"));
    useScenario();
    m_tool->setWaits(60000, 2000);
    QSignalSpy spy(m_tool.data(), &backup2tool::update);
    m_tool->cancel(); // a cancel before the run is forgotten
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        m_tool->cancel();
    });
    QElapsedTimer timer;
    timer.start();
    const QString error = runError(*m_tool, _backup2tool_req(backup2tool_op_backup));
    canceller.join();
    QCOMPARE(error, QString());
    QVERIFY2(timer.elapsed() >= 300 && timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(spy.size(), 0);
}

void TestBackup2Tool::stallReportsInvalidResponseUntilCancel()
{
    plist_dict_set_item(behaviour(), "End", plist_new_string("stall"));
    useScenario();
    m_tool->setWaits(100, 50);
    connect(m_tool.data(), &backup2tool::update, m_tool.data(), [this] {
        static int reports = 0;
        if (++reports == 3)
            m_tool->cancel();
    });
    QSignalSpy spy(m_tool.data(), &backup2tool::update);
    QCOMPARE(runError(*m_tool, _backup2tool_req(backup2tool_op_backup)), QString());
    QCOMPARE(spy.size(), 3);
    QCOMPARE(updates(spy).at(2).status1, QStringLiteral("Invalid Response"));
}

void TestBackup2Tool::brokenTool_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("error");
    const QString advice = QStringLiteral(" Please restart your iPhone to try again.");
    QTest::newRow("dies") << "crash" << "The backup tool ended unexpectedly." + advice;
    QTest::newRow("ends without a reply") << "exit" << "The backup tool ended unexpectedly." + advice;
    QTest::newRow("oversized frame") << "oversized" << "The backup tool sent an invalid reply." + advice;
}

void TestBackup2Tool::brokenTool()
{
    QFETCH(QString, end);
    QFETCH(QString, error);
    plist_dict_set_item(behaviour(), "End", plist_new_string(qPrintable(end)));
    plist_dict_set_item(behaviour(), "Progress", numbers({5}));
    useScenario();
    m_tool->setWaits(60000, 2000);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(runError(*m_tool, _backup2tool_req(backup2tool_op_backup)), error);
    QVERIFY(timer.elapsed() < 20000);
}

void TestBackup2Tool::toolMissing()
{
    const QByteArray frameworks = qgetenv("QUILLSPROUT_FRAMEWORKS");
    qputenv("QUILLSPROUT_FRAMEWORKS", QFile::encodeName(file("nowhere")));
    useScenario();
    const QString error = runError(*m_tool, _backup2tool_req(backup2tool_op_backup));
    qputenv("QUILLSPROUT_FRAMEWORKS", frameworks);
    QCOMPARE(error, QStringLiteral("startAppleMobileBackup failed."));
}

void TestBackup2Tool::descriptorZeroIsAnOpenEnd()
{
    // A process started with its standard input closed gets descriptor 0
    // from pipe(): only -1 may mark a closed slot.
    const int saved = fcntl(0, F_DUPFD_CLOEXEC, 3); // -1 when 0 was closed already
    int ends[2];
    QCOMPARE(pipe(ends), 0);
    QCOMPARE(dup2(ends[0], 0), 0);
    close(ends[0]);
    backup2tool::_PIPE none;
    backup2tool::closePipe(none);
    const bool zeroKept = fcntl(0, F_GETFD) != -1;
    backup2tool::_PIPE used;
    used.fd[0] = 0;
    used.fd[3] = ends[1];
    backup2tool::closePipe(used);
    const bool zeroClosed = fcntl(0, F_GETFD) == -1, writeEndClosed = fcntl(ends[1], F_GETFD) == -1;
    if (saved >= 0) {
        dup2(saved, 0);
        close(saved);
    }
    QVERIFY(zeroKept);
    QVERIFY(zeroClosed);
    QVERIFY(writeEndClosed);
    for (int fd : used.fd)
        QCOMPARE(fd, -1);
}

// A tool that exits at once, before reading: the request (larger than the
// pipe holds, so its write waits for the reader) meets a closed pipe. The
// write fails with EPIPE instead of SIGPIPE ending the program, even with
// the signal at its default. The request in the log hides the password.
void TestBackup2Tool::deadToolFailsTheWriteAndTheProgramLives()
{
    const QString folder = file("frameworks");
    QVERIFY(QDir().mkpath(folder));
    QFile tool(folder + "/AppleMobileBackup");
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\nexit 0\n");
    tool.close();
    QVERIFY(tool.setPermissions(tool.permissions() | QFile::ExeOwner));
    const QByteArray frameworks = qgetenv("QUILLSPROUT_FRAMEWORKS");
    qputenv("QUILLSPROUT_FRAMEWORKS", QFile::encodeName(folder));
    const auto oldPipeHandler = std::signal(SIGPIPE, SIG_DFL);
    static QStringList logged;
    logged.clear();
    const QtMessageHandler oldHandler = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { logged.append(text); });

    const QString password = QStringLiteral("s3cret-") + QString(200000, QLatin1Char('p'));
    const QString error = runError(*m_tool, restoreRequest(password));

    qInstallMessageHandler(oldHandler);
    std::signal(SIGPIPE, oldPipeHandler);
    qputenv("QUILLSPROUT_FRAMEWORKS", frameworks);
    QCOMPARE(error, QStringLiteral("writePipeRequest failed."));
    const QStringList requests = logged.filter("writePipeRequest:");
    QCOMPARE(requests.size(), 1);
    QVERIFY2(requests.first().contains("<key>Password</key>") && requests.first().contains("<string>***</string>"),
             qPrintable(requests.first()));
    QVERIFY(!requests.first().contains("s3cret"));
}

void TestBackup2Tool::unknownOperation()
{
    QCOMPARE(runError(*m_tool, _backup2tool_req(backup2tool_op(2))),
             QStringLiteral("backup2tool::runThrow, unknown backup2tool_op."));
}

void TestBackup2Tool::realBackend_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("status");
    QTest::addColumn<QList<double>>("progress");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("args");
    const QString backupArgs = QStringLiteral("-u %1 backup ROOT").arg(kUdid);
    const QString restoreArgs = QStringLiteral("-u %1 -s %1 restore --system --settings --password pw ROOT").arg(kUdid);
    QTest::newRow("backup succeeds")
        << int(backup2tool_op_backup)
        << QByteArray("Backup directory is \"/tmp/x\"\nStarted \"com.apple.mobilebackup2\" service on port 49.\n"
                      "Negotiated Protocol Version 2.1\nStarting backup...\n"
                      "[=============                                     ]  25% Finished\n"
                      "Receiving files\n\r[=======                ]  12% (1.0 MB/8.0 MB)"
                      "\r[==================================================] 100% Finished\n"
                      "Received 312 files from device.\nBackup Successful.\n")
        << 0 << QList<double>{25, 100} << QString() << backupArgs;
    QTest::newRow("no space on the computer")
        << int(backup2tool_op_backup)
        << QByteArray("Starting backup...\n[=====     ]  10% Finished\n"
                      "ErrorCode 105: Insufficient free disk space on drive to upload files. (MBErrorDomain/105)\n"
                      "Received 3 files from device.\nBackup Failed (Error Code 105).\n")
        << 1 << QList<double>{10} << QStringLiteral("error code:-36. Insufficient free disk space on drive")
        << backupArgs;
    QTest::newRow("device locked")
        << int(backup2tool_op_restore) << QByteArray("ERROR: Could not connect to lockdownd, error code -17\n") << 1
        << QList<double>{} << QStringLiteral("error code:-35. ") << restoreArgs;
    QTest::newRow("no device")
        << int(backup2tool_op_backup) << QByteArray("No device found with udid 0123.\n") << 1 << QList<double>{}
        << QStringLiteral("error code:-10. ") << backupArgs;
    QTest::newRow("digest mismatch on restore")
        << int(backup2tool_op_restore)
        << QByteArray("Restoring backup...\nErrorCode 205: Digest mismatch\nRestore Failed (Error Code 205).\n") << 1
        << QList<double>{} << QStringLiteral("error code:-20. Restore message response: 205") << restoreArgs;
    QTest::newRow("unrecognised failure")
        << int(backup2tool_op_backup) << QByteArray("something odd\n") << 3 << QList<double>{}
        << QStringLiteral("error code:-101. Please restart your iPhone to try again.") << backupArgs;
}

void TestBackup2Tool::realBackend()
{
    QFETCH(int, op);
    QFETCH(QByteArray, output);
    QFETCH(int, status);
    QFETCH(QList<double>, progress);
    QFETCH(QString, error);
    QFETCH(QString, args);
    useScript(output, status);
    QSignalSpy spy(m_tool.data(), &backup2tool::update);
    _backup2tool_req req{backup2tool_op(op)};
    req.password = op == backup2tool_op_restore ? QStringLiteral("pw") : QString();
    const QString got = runError(*m_tool, req);
    QVERIFY2(error.isEmpty() ? got.isEmpty() : got.startsWith(error), qPrintable(got));
    QList<double> reported;
    for (const Update& u : updates(spy))
        reported.append(u.pg);
    QCOMPARE(reported, progress);
    QFile argsFile(file("args.txt"));
    QVERIFY(argsFile.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(argsFile.readAll()).trimmed(), QString(args).replace("ROOT", file("root")));
}

void TestBackup2Tool::realBackendStoppedOnCancel()
{
    useScript(QByteArray("Starting backup...\n"), -1);
    m_tool->setWaits(60000, 2000);
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        m_tool->cancel();
    });
    QCOMPARE(runError(*m_tool, _backup2tool_req(backup2tool_op_backup)), QString());
    canceller.join();
    QFile pidFile(file("pid.txt"));
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const pid_t pid = pid_t(pidFile.readAll().trimmed().toLongLong());
    QVERIFY(pid > 0);
    QTRY_VERIFY_WITH_TIMEOUT(!running(pid), 5000);
}

QTEST_GUILESS_MAIN(TestBackup2Tool)
#include "tst_backup2tool.moc"
