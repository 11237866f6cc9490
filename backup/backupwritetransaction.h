// Changing a backup folder all or nothing. Every file that is to be created
// or replaced is first written under a staged name beside its target; the
// commit then writes a journal naming each staged file and its target, and
// only after that renames the staged files into place. A failure before the
// journal leaves the backup as it was (the staged files are removed); once
// the journal stands the change is decided, and an interrupted commit is
// finished by recoverThrow, which every reader of the file index calls first.
#pragma once

#include <QDir>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

class BackupWriteTransaction
{
public:
    // Consulted before every write step with a short name of the step; a
    // test makes it throw to interrupt the change at that step.
    using StepHook = std::function<void(const QString& step)>;

    explicit BackupWriteTransaction(const QDir& backupDir, StepHook hook = StepHook());
    // Removes the staged files of a change that was not committed.
    ~BackupWriteTransaction();
    BackupWriteTransaction(const BackupWriteTransaction&) = delete;
    BackupWriteTransaction& operator=(const BackupWriteTransaction&) = delete;

    // The path to write the new contents of `target` (a path inside the
    // backup folder) to; whatever lies there from an earlier attempt is removed.
    QString stage(const QString& target);
    // The same for a file of ours outside the backup folder (the private
    // decrypted copy of an encrypted index): it replaces its target after
    // the backup's own files, is in no journal, and is removed when the
    // change is not committed.
    QString stageOutside(const QString& target);
    // Calls the step hook; every writer calls it before a write step.
    void step(const QString& name) const;
    // Makes the staged files durable, writes the journal, renames every staged
    // file over its target and removes the journal. Throws std::runtime_error;
    // after the journal stands, a failure leaves the rest to recoverThrow.
    void commitThrow();

    // Finishes a commit that a crash interrupted: renames every staged file
    // the journal names that is still there, then removes the journal.
    // Nothing when there is no journal. Throws std::runtime_error for a
    // journal that names paths outside the folder or a rename that fails.
    static void recoverThrow(const QDir& backupDir);
    static QString journalPath(const QDir& backupDir);

private:
    // The staged path of `target`, entered in `list` once.
    static QString stageIn(QList<QPair<QString, QString>>& list, const QString& target);
    void rollback();

    QDir m_dir;
    StepHook m_hook;
    QList<QPair<QString, QString>> m_staged; // staged path, target path (absolute)
    QList<QPair<QString, QString>> m_stagedOutside;
    bool m_journalWritten = false;
};
