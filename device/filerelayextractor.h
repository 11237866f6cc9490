// Unpacks the archive that the file_relay service sent (any format and
// compression libarchive recognises; the device sends cpio) into the device's
// cache tree, reporting each entry and each block as progress.
//
// What it relies on of each entry (cpio header fields as libarchive gives
// them): the path name, the file type (folder or regular file; every other
// type is skipped), the size, and the access and modification times.
//
// An entry is written only inside the target folder: a leading "/" is
// dropped, and names with a ".." component or that reach the target through
// a symbolic link are skipped with a logged warning. Each file is written to
// a temporary name and renamed over the old one only once it is complete.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

struct archive;
struct archive_entry;
class ProgressReporter;

class FileRelayExtractor
{
public:
    // `buffer` serves every read of unpacked data.
    FileRelayExtractor(ProgressReporter& progress, QByteArray& buffer);
    ~FileRelayExtractor();
    FileRelayExtractor(const FileRelayExtractor&) = delete;
    FileRelayExtractor& operator=(const FileRelayExtractor&) = delete;

    // Unpacks every entry of the archive file below `target`, creating the
    // target when missing; files already there and not in the archive stay.
    // Throws std::runtime_error on failure and Cancelled once the reporter
    // says the user cancelled.
    void extract(const QString& archivePath, const QDir& target);

    // The entry name as a path relative to the target: one leading "./",
    // the characters \ : * ? " < > | and line breaks and tabs, and leading
    // slashes removed. Empty when nothing is left.
    static QString cleanName(const QString& name);

private:
    void extractEntry(archive_entry* entry, const QDir& target);
    void extractFile(archive_entry* entry, const QString& path);
    // Throws `pattern` with %1 the path and %2 libarchive's reason.
    [[noreturn]] void failRead(const QString& pattern, const QString& path);

    ProgressReporter& m_progress;
    QByteArray& m_buffer;
    archive* m_reader = nullptr;
};
