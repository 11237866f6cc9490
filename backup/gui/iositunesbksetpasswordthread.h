// The worker that checks a backup password: it runs the keybag unlock, which
// takes seconds, off the GUI thread behind a progress dialog that cannot be
// cancelled, and keeps the verdict for the GUI thread to read once it ended.
#pragma once

#include <QString>
#include <QThread>

class BackupManifest;
class ProgressForm;

class IOSiTunesBKSetPasswordThread : public QThread
{
public:
    IOSiTunesBKSetPasswordThread(BackupManifest& backup, const QString& password, ProgressForm& form,
                                 QObject* parent);

    // True when the password unlocked the backup; read after the thread ended.
    bool result() const { return m_result; }

protected:
    void run() override;

private:
    BackupManifest* m_backup;
    QString m_password;
    ProgressForm* m_form;
    bool m_result = false;
};
