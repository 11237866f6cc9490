#include "logsaver.h"

#include "privatemode.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {
QString __rootPath;

// One write() of the whole line on a descriptor opened with O_APPEND: the
// kernel places it at the end in one piece, so lines of concurrent threads
// never mix.
void appendLine(const QByteArray& path, const QByteArray& line)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const char* p = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        p += n;
        left -= n;
    }
    ::close(fd);
}
} // namespace

void logsaver_install_msghandler(const QString& folder, int keep)
{
    __rootPath = folder;
    // The logs quote messages and names: only the user may read them, also
    // those that an older run wrote with the umask's bits.
    g_mkPrivatePath(folder);
    QDir dir(folder);
    const QStringList files = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (int i = 0; i < files.size(); ++i) {
        if (i < files.size() - keep)
            dir.remove(files.at(i));
        else
            g_makePrivate(dir.absoluteFilePath(files.at(i)));
    }
    qInstallMessageHandler(log_output);
}

void log_output(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString fileName = QStringLiteral("log-%1.txt").arg(now.toString(QStringLiteral("yyyyMMdd")));
    if (!QFileInfo::exists(__rootPath))
        g_mkPrivatePath(__rootPath);

    char kind = 'D';
    switch (type) {
    case QtDebugMsg: kind = 'D'; break;
    case QtInfoMsg: kind = 'D'; break;
    case QtWarningMsg: kind = 'W'; break;
    case QtCriticalMsg: kind = 'C'; break;
    case QtFatalMsg: kind = 'F'; break;
    }
    if (type == QtDebugMsg) {
        const QByteArray out = message.toUtf8() + '\n';
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        std::fflush(stdout);
    }
    const QByteArray line = QByteArray("(") + kind + ' ' + now.toString(QStringLiteral("hh:mm:ss")).toUtf8() + ") "
        + message.toUtf8() + '\n';
    appendLine(QFile::encodeName(QDir(__rootPath).filePath(fileName)), line);
    if (type == QtFatalMsg)
        std::abort();
}
