// The worker that backs messages up into one local database behind its
// progress dialog. Success, cancel and failure reach the user only through
// the dialog; a cancelled or failed run leaves the database as it was.
#pragma once

#include "localdbbackup.h"

#include <QDir>
#include <QList>
#include <QThread>

class ProgressForm;
struct _CountryInfo;
struct _MsgMessage;

class BackupSMSThread : public QThread
{
    Q_OBJECT
public:
    // Sorts a copy of `messages` by date; opens nothing. Any other connection
    // to the database in `dbDir` must be closed first, and the messages must
    // stay unchanged until the thread has finished.
    BackupSMSThread(const QList<_MsgMessage*>& messages, const QDir& dbDir, const _CountryInfo& country,
                    ProgressForm& progress, QObject* parent = nullptr);

protected:
    void run() override;

private:
    LocalDbBackup m_backup;
    ProgressForm& m_progress;
};
