// The common part of the device backup and restore workers: each runs the
// backup tool for one device behind a progress dialog, forwards the tool's
// progress to the dialog, lets the dialog's Cancel reach the tool driver,
// and reports success only for a run that was not cancelled.
#pragma once

#include <QDir>
#include <QString>
#include <QThread>

class IOSDevice;
class ProgressForm;
class backup2tool;

class IOSBackupToolThread : public QThread
{
    Q_OBJECT
public:
    ~IOSBackupToolThread() override;

    // The backup root, which holds the device's backup folder.
    QDir root() const { return m_root; }
    // The tool driver; tests shorten its waits.
    backup2tool& tool() const { return *m_tool; }

public slots:
    void backupUpdate(double pg, QString status1, QString status2);

protected:
    IOSBackupToolThread(bool tutorial, const IOSDevice& device, const QDir& root, ProgressForm& form,
                        QObject* parent);

    // The start of each run: shows `status`, refuses a device id that could
    // name another folder than the device's own (false, after the error),
    // then connects the tool's progress to this worker and the dialog's
    // Cancel to the tool.
    bool begin(const QString& status);
    // The user cancelled: the dialog has closed already and must hear no
    // success after it.
    bool userCancelled() const;
    // root/<udid>.
    QDir deviceDir() const;

    const bool m_tutorial;
    const IOSDevice* const m_device;
    ProgressForm* const m_form;
    const QDir m_root;
    backup2tool* const m_tool;
};
