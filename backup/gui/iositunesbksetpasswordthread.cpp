#include "iositunesbksetpasswordthread.h"

#include "backupmanifest.h"
#include "progressform.h"
#include "progressrunner.h"

#include <QCoreApplication>

#include <exception>

IOSiTunesBKSetPasswordThread::IOSiTunesBKSetPasswordThread(BackupManifest& backup, const QString& password,
                                                           ProgressForm& form, QObject* parent)
    : QThread(parent)
    , m_backup(&backup)
    , m_password(password)
    , m_form(&form)
{
}

void IOSiTunesBKSetPasswordThread::run()
{
    m_result = false;
    m_form->invokeUpdateProgress(
        QCoreApplication::translate("IOSiTunesBKSetPasswordThread", "Verifying. Please wait..."), 99, QString());
    try {
        m_result = m_backup->setPasscodeNoUIThrow(m_password);
        // A wrong password also ends the dialog with success: the verdict
        // travels in the result.
        m_form->invokeSucceed(QString());
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(QStringLiteral("IOSiTunesBKSetPasswordThread: %1").arg(QString::fromUtf8(e.what())));
    }
}

bool BackupManifest::setPasscode(const QString& newPassword)
{
    ProgressForm form(QString(), nullptr);
    form.setCancelable(false);
    IOSiTunesBKSetPasswordThread worker(*this, newPassword, form, nullptr);
    // Waits for the worker however the dialog ended: it is never terminated.
    g_runWithProgress(form, worker);
    return worker.result();
}
