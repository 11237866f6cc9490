// The start-up migration of older local databases: every plain file of the
// local-databases folder (an older single-file database) becomes a database
// folder of the same name, its messages written by the local-database writer,
// and the file goes.
//
// Names on disk, for a file F:
//   F            the older file, as found
//   F.__tmp      its name while it migrates (a file found with the suffix
//                "__tmp", in any letter case, keeps its name)
//   F/           the new database folder: the temporary name cut before its
//                last "."; so sms.db gives the folder sms.db, and a file
//                found as backup.__TMP the folder backup
// A file that fails keeps its temporary name and is migrated again, into the
// same folder, at the next start; messages already there are not stored twice.
#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

#include <functional>

class ProgressReporter;

class LocalDbMigration
{
public:
    // `folder` is the local-databases folder.
    explicit LocalDbMigration(const QDir& folder);

    // How a migrated file is removed; true when it is gone.
    std::function<bool(const QString& path)> removeFile;

    // The plain files of `folder` (no folders, no hidden files), by name.
    static QStringList pendingFiles(const QDir& folder);
    // The database folder that a temporary file migrates into.
    static QString targetFolder(const QString& temporaryPath);

    // Migrates every pending file, each in one transaction of its database.
    // Stops at the first file that fails with std::runtime_error (a failed
    // rename) or the std::exception of the database; the files before it
    // stay migrated. Returns the temporary files that could not be removed
    // after their migration (empty when nothing was left behind).
    QStringList run(ProgressReporter& progress);

private:
    void migrate(const QString& temporaryPath, ProgressReporter& progress);
    // Removes what earlier runs left behind; returns what is still there.
    QStringList sweepTemporaryFiles();

    QDir m_folder;
};
