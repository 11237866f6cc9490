// One output file of an export, written as UTF-8 through a buffer of our own.
// A regular file is written to a temporary file beside its target and renamed
// over it only by commit(), so a stopped or failed export never leaves half a
// file and never destroys a file that stood at the path before (no fsync: an
// export can be made again, and a conversation per file would pay one each);
// a device or pipe at the path (such as /dev/stdout) is written directly. Every write error ends the export
// with a std::runtime_error naming the file and the reason.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringEncoder>
#include <QStringView>

#include <memory>

class QFile;
class QIODevice;

class ExportFile
{
public:
    explicit ExportFile(const QString& path);
    ~ExportFile();
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    const QString& path() const { return m_path; }

    // Opens the output; throws std::runtime_error with the reason when it cannot.
    void open();
    // The open output, for writers that hand it to a painter (PDF).
    QIODevice* device() const;
    void write(QStringView text);
    void write(QLatin1StringView text);
    // Writes what is buffered and puts the file in place; throws on any error
    // met since open(). Without it the output is dropped.
    void commit();

private:
    void ensureRoom(qsizetype bytes);
    void flushBuffer();
    [[noreturn]] void throwWriteError() const;

    QString m_path;
    QString m_target;    // the path, or the file a link at the path names
    QString m_temporary; // the file written until commit() renames it
    std::unique_ptr<QFile> m_file;
    QByteArray m_buffer;
    qsizetype m_used = 0;
    QStringEncoder m_encoder{QStringConverter::Utf8};
};
