#include "exportfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

constexpr qsizetype kBufferSize = 256 * 1024;

} // namespace

ExportFile::ExportFile(const QString& path)
    : m_path(path)
{
}

ExportFile::~ExportFile()
{
    if (m_temporary.isEmpty())
        return;
    m_file->close();
    QFile::remove(m_temporary);
}

void ExportFile::open()
{
    const QFileInfo info(m_path);
    // A link is followed: the file it names is written, the link stays.
    m_target = info.isSymLink() ? info.symLinkTarget() : m_path;
    const bool special = info.exists() && !info.isFile() && !info.isDir();
    if (special) {
        auto file = std::make_unique<QFile>(m_target);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw std::runtime_error(file->errorString().toUtf8().constData());
        m_file = std::move(file);
    } else {
        if (info.isDir())
            throw std::runtime_error(QCoreApplication::translate("ExportFile", "%1 is a folder.")
                                         .arg(QDir::toNativeSeparators(m_path)).toUtf8().constData());
        // Beside the target, so the rename stays on one file system; a name
        // of its own, made only by this open, and private (0600).
        static std::atomic<quint64> counter{0};
        const QString temporary = QStringLiteral("%1.part-%2-%3")
                                      .arg(m_target)
                                      .arg(QCoreApplication::applicationPid())
                                      .arg(counter.fetch_add(1));
        auto file = std::make_unique<QFile>(temporary);
        if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            throw std::runtime_error(file->errorString().toUtf8().constData());
        m_temporary = temporary;
        m_file = std::move(file);
    }
    m_buffer.resize(kBufferSize);
    m_used = 0;
}

QIODevice* ExportFile::device() const
{
    return m_file.get();
}

void ExportFile::ensureRoom(qsizetype bytes)
{
    if (m_used + bytes <= m_buffer.size())
        return;
    flushBuffer();
    if (bytes > m_buffer.size())
        m_buffer.resize(bytes);
}

void ExportFile::write(QStringView text)
{
    ensureRoom(m_encoder.requiredSpace(text.size()));
    char* end = m_encoder.appendToBuffer(m_buffer.data() + m_used, text);
    m_used = end - m_buffer.data();
}

void ExportFile::write(QLatin1StringView text)
{
    bool ascii = true;
    for (const char c : text)
        ascii &= static_cast<unsigned char>(c) < 0x80;
    if (!ascii) {
        write(QString(text));
        return;
    }
    ensureRoom(text.size());
    std::memcpy(m_buffer.data() + m_used, text.data(), size_t(text.size()));
    m_used += text.size();
}

void ExportFile::flushBuffer()
{
    if (m_used == 0)
        return;
    if (m_file->write(m_buffer.constData(), m_used) != m_used)
        throwWriteError();
    m_used = 0;
}

void ExportFile::commit()
{
    flushBuffer();
    if (!m_file->flush() || m_file->error() != QFileDevice::NoError)
        throwWriteError();
    m_file->close();
    if (m_file->error() != QFileDevice::NoError)
        throwWriteError();
    if (m_temporary.isEmpty())
        return;
    // A file that is replaced keeps its mode.
    if (QFileInfo::exists(m_target))
        QFile::setPermissions(m_temporary, QFile::permissions(m_target));
    // rename() replaces the target in one step; QFile::rename would refuse.
    if (std::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(m_target).constData()) != 0) {
        const QString text = QCoreApplication::translate("ExportFile", "Can not write %1. %2")
                                 .arg(QDir::toNativeSeparators(m_path), QString::fromLocal8Bit(std::strerror(errno)));
        throw std::runtime_error(text.toUtf8().constData());
    }
    m_temporary.clear();
}

void ExportFile::throwWriteError() const
{
    const QString text = QCoreApplication::translate("ExportFile", "Can not write %1. %2")
                             .arg(QDir::toNativeSeparators(m_path), m_file->errorString());
    throw std::runtime_error(text.toUtf8().constData());
}
