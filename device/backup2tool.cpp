#include "backup2tool.h"

#include "descriptortransfer.h"
#include "makerserver.h"
#include "mobiledevice_loader.h"

#include <QProcess>

#include <algorithm>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdexcept>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const long kXmlFormat = 100;
// How long the tool may take to end once killed.
const int kFinishWaitMs = 5000;

// A write that fails with EPIPE on a closed pipe instead of raising SIGPIPE,
// whatever the process does with that signal. The kernel raises the signal
// also when the reader goes away in the middle of a write that then returns
// a short count, so whatever this write raised is taken back in both cases.
ssize_t writeWithoutSigpipe(int fd, const char* data, size_t len)
{
    sigset_t pipeSignal;
    sigset_t old;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
    sigset_t pending;
    sigpending(&pending);
    const bool pendingBefore = sigismember(&pending, SIGPIPE) == 1;
    ssize_t n;
    while ((n = write(fd, data, len)) < 0 && errno == EINTR) {
    }
    const int error = errno;
    sigpending(&pending);
    if (!pendingBefore && sigismember(&pending, SIGPIPE) == 1) {
        const timespec none{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = error;
    return n;
}

// Reads up to `len` bytes from fd[0]; `why` tells what stopped a short read.
int readBytes(const backup2tool::_PIPE& pipe, char* buf, int len, TransferStop& why)
{
    const int fd = pipe.fd[0];
    return transferAll(fd, len, POLLIN, pipe.waitMs, pipe.cancelled,
                       [&](int done) { return read(fd, buf + done, size_t(len - done)); }, &why);
}

QString xmlText(const CFType& value)
{
    return QString::fromUtf8(value.CFPropertyListToBytes(kXmlFormat));
}

CFType stringArray(std::initializer_list<const char*> items)
{
    CFType array = CFType::createCFArray();
    for (const char* item : items)
        array.append(CFType::createCFString(QString::fromLatin1(item)));
    return array;
}

CFType text(const QString& s)
{
    return CFType::createCFString(s);
}

} // namespace

backup2tool::backup2tool(am_device* device, QString udid, QDir root, QObject* parent)
    : QObject(parent), m_device(device), m_udid(std::move(udid)), m_root(std::move(root))
{
}

backup2tool::~backup2tool() = default;

void backup2tool::setWaits(int replyWaitMs, int graceMs)
{
    m_replyWaitMs = replyWaitMs;
    m_graceMs = graceMs;
}

void backup2tool::cancel()
{
    m_cancelled = true;
}

quint64 backup2tool::get_freespace(const QDir& dir)
{
    struct statvfs info;
    if (statvfs(dir.absolutePath().toUtf8().constData(), &info) != 0)
        return quint64(-1);
    return quint64(info.f_bavail) * quint64(info.f_bsize);
}

QString backup2tool::toolPath()
{
    return QDir(mobiledevice_loader_frameworks_dir()).filePath(QStringLiteral("AppleMobileBackup"));
}

bool backup2tool::startAppleMobileBackup(QProcess& process, _PIPE& pipe)
{
    // Every end is closed on exec; the tool's two ends are opened up in the
    // child alone, so no other child inherits them.
    int reply[2];
    int request[2];
    if (pipe2(reply, O_CLOEXEC) != 0) {
        qDebug("Error: pipe failed.");
        return false;
    }
    if (pipe2(request, O_CLOEXEC) != 0) {
        close(reply[0]);
        close(reply[1]);
        qDebug("Error: pipe failed.");
        return false;
    }
    pipe.fd[0] = reply[0];
    pipe.fd[1] = reply[1];
    pipe.fd[2] = request[0];
    pipe.fd[3] = request[1];
    const int toolReads = pipe.fd[2];
    const int toolWrites = pipe.fd[1];
    process.setChildProcessModifier([toolReads, toolWrites] {
        fcntl(toolReads, F_SETFD, 0);
        fcntl(toolWrites, F_SETFD, 0);
    });
    // The tool's output is dropped and its errors go to ours, so that
    // neither can fill up while nobody reads them.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(toolPath(), {QStringLiteral("--pipe"), QString::number(toolReads), QString::number(toolWrites)},
                  QIODevice::ReadWrite);
    const bool started = process.waitForStarted();
    // Only the tool holds its ends now: its death shows as the end of the
    // reply pipe, and writing to it fails.
    close(pipe.fd[1]);
    close(pipe.fd[2]);
    pipe.fd[1] = pipe.fd[2] = -1;
    if (!started)
        closePipe(pipe);
    return started;
}

int backup2tool::readPipe(const _PIPE& pipe, char* buf, int len)
{
    if (len <= 0)
        return 0;
    TransferStop why;
    return readBytes(pipe, buf, len, why);
}

int backup2tool::writePipe(const _PIPE& pipe, const char* data, int len, bool sync)
{
    if (len <= 0 || waitDescriptor(pipe.fd[3], POLLOUT, pipe.waitMs, pipe.cancelled) != DescriptorWait::Ready)
        return 0;
    const ssize_t n = writeWithoutSigpipe(pipe.fd[3], data, size_t(len));
    if (n <= 0)
        return 0;
    if (sync)
        fsync(pipe.fd[3]);
    return int(n);
}

bool backup2tool::writePipeRequest(const _PIPE& pipe, CFType request)
{
    const QByteArray body = request.CFPropertyListToBytes(kXmlFormat);
    if (body.isEmpty()) {
        qDebug("backup2tool::writePipeRequest: invalid CFType");
        return false;
    }
    const qint32 len = body.size();
    char header[sizeof len];
    std::memcpy(header, &len, sizeof len);
    return writePipe(pipe, header, sizeof header, true) == int(sizeof header)
        && writePipe(pipe, body.constData(), body.size(), true) == body.size();
}

backup2tool::Read backup2tool::readReply(const _PIPE& pipe, CFType& reply)
{
    reply = CFType();
    auto shortRead = [](int got, TransferStop why) {
        if (why == TransferStop::Cancelled)
            return Read::Cancelled;
        if (why == TransferStop::Ended)
            return Read::Ended;
        // Silence before a frame is no reply; within one it leaves the
        // stream out of step.
        return got == 0 ? Read::Silent : Read::Broken;
    };
    qint32 len = 0;
    char header[sizeof len];
    TransferStop why;
    const int got = readBytes(pipe, header, sizeof header, why);
    if (got < int(sizeof header))
        return shortRead(got, why);
    std::memcpy(&len, header, sizeof len);
    if (len < 1)
        return Read::Reply;
    if (len > kMaxToolReplyBytes) {
        qDebug("backup2tool: a reply of %d bytes exceeds the limit of %d bytes.", len, kMaxToolReplyBytes);
        return Read::Broken;
    }
    QByteArray body(len, Qt::Uninitialized);
    const int bodyGot = readBytes(pipe, body.data(), len, why);
    if (bodyGot < len)
        return shortRead(1, why);
    reply = CFType::createCFPropertyList(body);
    return Read::Reply;
}

CFType backup2tool::readPipeReponse(const _PIPE& pipe)
{
    CFType reply;
    readReply(pipe, reply);
    return reply;
}

void backup2tool::closePipe(_PIPE& pipe)
{
    for (int& fd : pipe.fd) {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }
}

CFType backup2tool::buildRequest(backup2tool_op op, const QString& password) const
{
    const QString root = QDir::toNativeSeparators(m_root.absolutePath());
    CFType request = CFType::createCFDictionary();
    request.put(QStringLiteral("AMSDeviceIdentifierKey"), text(QStringLiteral("-1")));
    request.put(QStringLiteral("AMSTargetIdentifierKey"), text(m_udid));
    CFType options = CFType::createCFDictionary();
    options.put(QStringLiteral("RootDirectory"), text(root));
    if (op == backup2tool_op_backup) {
        request.put(QStringLiteral("AMSMessageSignatureKey"),
                    stringArray({"AMSDeviceIdentifierKey", "AMSTargetIdentifierKey", "AMSBackupOptionsKey"}));
        request.put(QStringLiteral("AMSRequestKey"), text(QStringLiteral("AMSBackupRequest")));
        request.put(QStringLiteral("AMSBackupOptionsKey"), options);
        return request;
    }
    request.put(QStringLiteral("AMSMessageSignatureKey"),
                stringArray({"AMSDeviceIdentifierKey", "AMSTargetIdentifierKey", "AMSSourceTargetIdentifierKey",
                             "AMSBackupApplicationsKey", "AMSRestoreRestoreOptionsKey"}));
    request.put(QStringLiteral("AMSRequestKey"), text(QStringLiteral("AMSRestoreWithApplicationsRequest")));
    request.put(QStringLiteral("AMSSourceTargetIdentifierKey"), text(m_udid));
    options.put(QStringLiteral("RestoreDontCopyBackup"), CFType::createCFBoolean(true));
    if (!password.isEmpty())
        options.put(QStringLiteral("Password"), text(password));
    request.put(QStringLiteral("AMSRestoreRestoreOptionsKey"), options);
    return request;
}

QString backup2tool::errorText(int code, backup2tool_op op) const
{
    const bool restore = op == backup2tool_op_restore;
    switch (code) {
    case -1:
        return tr("The process cannot access some files because they are being used by another process. Please "
                  "restart your iPhone and computer to try again.");
    case -2:
        return tr("Connecting to device failed: Unknown error. Please restart your iPhone to try again.");
    case -10:
        return tr("Error attaching to device. Please Keep your iPhone connected and active.");
    case -19:
        return tr("Please go to iTunes to disable \"Automatically sync when this iPhone connected\". Then reconnect "
                  "your iPhone to try again.");
    case -20:
        return restore ? tr("Restore message response: 205 Digest didn't match for some files, Please click "
                            "\"Tools\"-&gt;\"Clear cache files\" on Quillsprout software and then restart your "
                            "iPhone and computer to try again.")
                       : tr("205 Error creating backup directory. Please click \"Tools\"-&gt;\"Clear cache files\" "
                            "on Quillsprout software and then restart your iPhone and computer to try again.");
    case -21:
        return tr("ERROR: Backup cancelled (MBErrorDomain/202), Pleae restart Quillsprout software to try again.");
    case -30:
        return tr("104 Multiple errors uploading files. Please restart your iPhone to try again.");
    case -35:
        return tr("Could not connect to device because it's locked. Please restart your iPhone to try again.");
    case -36:
        return restore ? tr("Insufficient free disk space on device to back up. Not enough free disk space on your "
                            "Device.")
                       : tr("Insufficient free disk space on drive to back up. Not enough free disk space on your "
                            "computer.");
    case -37:
        return tr("Please follow ") + QStringLiteral("<a href=\"%1\">")
                   .arg(g_makerServerUrl(QStringLiteral("/guide/turn-off-find-my-iphone.html")).toString())
            + tr("this tutorial") + QStringLiteral("</a>")
            + tr(" to disable \"Find my iPhone\" first and then restart your iPhone to try again.");
    case -38:
        return tr("212 Unable to backup until Setup is finished (MBErrorDomain/212). Please Keep your iPhone "
                  "connected and active.");
    default:
        return tr("Please restart your iPhone to try again.");
    }
}

void backup2tool::fail(const QString& text) const
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

void backup2tool::runThrow(const _backup2tool_req& req)
{
    m_cancelled = false;
    m_progress = 0;
    if (req.op != backup2tool_op_backup && req.op != backup2tool_op_restore)
        fail(QStringLiteral("backup2tool::runThrow, unknown backup2tool_op."));
    const CFType request = buildRequest(req.op, req.password);
    QProcess process;
    _PIPE pipe;
    pipe.waitMs = m_replyWaitMs;
    pipe.cancelled = &m_cancelled;
    if (!startAppleMobileBackup(process, pipe))
        fail(QStringLiteral("startAppleMobileBackup failed."));
    const QString shownPassword = req.password.isEmpty() ? QString() : QStringLiteral("***");
    qDebug("writePipeRequest: \n%s", qUtf8Printable(xmlText(buildRequest(req.op, shownPassword))));
    if (!writePipeRequest(pipe, request)) {
        closePipe(pipe);
        process.kill();
        fail(QStringLiteral("writePipeRequest failed."));
    }
    int code = 0;
    for (;;) {
        if (m_cancelled) {
            // No grace: the killed tool is only reaped.
            closePipe(pipe);
            process.kill();
            process.waitForFinished(kFinishWaitMs);
            return;
        }
        CFType reply;
        const Read read = readReply(pipe, reply);
        if (read == Read::Cancelled)
            continue;
        if (read == Read::Ended || read == Read::Broken) {
            closePipe(pipe);
            process.kill();
            process.waitForFinished(kFinishWaitMs);
            fail((read == Read::Ended ? tr("The backup tool ended unexpectedly.")
                                      : tr("The backup tool sent an invalid reply."))
                 + QLatin1Char(' ') + errorText(0, req.op));
        }
        if (!reply.isCFDictionary()) {
            if (reply.ref())
                qDebug("readPipeReponse(unknown CFType): \n%s", qUtf8Printable(xmlText(reply)));
            else
                qDebug("readPipeReponse, null response.");
            emit update(m_progress, QStringLiteral("Invalid Response"), QStringLiteral("Invalid Response"));
            continue;
        }
        const QList<CFType> keys = reply.dict_keys();
        if (keys.isEmpty())
            break;
        if (keys.size() == 1 && keys.first().CFStringQString() == QLatin1String("AMSBackupPercentageKey")) {
            // A fractional percentage is kept; anything but a number is 0.
            const double pg = reply.get(keys.first()).CFNumberDouble(0);
            m_progress = std::isnan(pg) ? 0 : std::clamp(pg, 0.0, 100.0);
            emit update(m_progress, QString(), QString());
            continue;
        }
        qDebug("readPipeReponse: \n%s", qUtf8Printable(xmlText(reply)));
        code = reply.get(QStringLiteral("errorCode")).CFNumberInt(0);
        if (code != 0)
            break;
        QString detail;
        for (const CFType& key : keys)
            detail += QStringLiteral(",%1:%2").arg(key.CFStringQString(), reply.get(key).toString());
        emit update(m_progress, QStringLiteral("Unknown Message"), detail);
    }
    closePipe(pipe);
    // The tool may end by itself within the grace; it is killed after it.
    process.waitForFinished(m_graceMs);
    process.kill();
    process.waitForFinished(kFinishWaitMs);
    qDebug("backup2tool ended:\n%s", "");
    if (code != 0)
        fail(QStringLiteral("error code:%1. ").arg(code) + errorText(code, req.op));
}
