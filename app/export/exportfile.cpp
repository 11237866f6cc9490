#include "exportfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>
#include <stdexcept>

namespace {

constexpr qsizetype kBufferSize = 256 * 1024;

// A file that already exists keeps its mode when it is replaced; a new one is
// private, as everything that holds messages.
constexpr QFileDevice::Permissions kNewFileMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

} // namespace

ExportFile::ExportFile(const QString& path)
    : m_path(path)
{
}

ExportFile::~ExportFile() = default;

void ExportFile::open()
{
    const QFileInfo info(m_path);
    const bool special = info.exists() && !info.isFile() && !info.isDir();
    if (special) {
        auto file = std::make_unique<QFile>(m_path);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw std::runtime_error(file->errorString().toUtf8().constData());
        m_file = std::move(file);
    } else {
        const bool isNew = !info.exists();
        auto file = std::make_unique<QSaveFile>(m_path);
        if (!file->open(QIODevice::WriteOnly))
            throw std::runtime_error(file->errorString().toUtf8().constData());
        if (isNew)
            file->setPermissions(kNewFileMode);
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
    if (auto* save = dynamic_cast<QSaveFile*>(m_file.get())) {
        if (!save->commit())
            throwWriteError();
        return;
    }
    if (!m_file->flush() || m_file->error() != QFileDevice::NoError)
        throwWriteError();
    m_file->close();
}

void ExportFile::throwWriteError() const
{
    const QString text = QCoreApplication::translate("ExportFile", "Can not write %1. %2")
                             .arg(QDir::toNativeSeparators(m_path), m_file->errorString());
    throw std::runtime_error(text.toUtf8().constData());
}
