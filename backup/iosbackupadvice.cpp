#include "iosbackupadvice.h"

#include "makerserver.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace {

// The texts belong to the workers that show them.
const char* const kBackupContext = "IOSMobileBackupThread";
const char* const kRestoreContext = "IOSMobileRestoreThread";

QString guideLink(const char* page, const QString& text)
{
    const QUrl url = g_makerServerUrl(QStringLiteral("/guide/%1.html").arg(QLatin1String(page)));
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toString(), text);
}

QString lockdownLink()
{
    return guideLink("reset-lockdown-folder", QStringLiteral("How to"));
}

QString tutorialLink()
{
    return guideLink("transfer-sms-with-itunes", QStringLiteral("<b>tutorial</b>"));
}

QString findMyIPhoneLink()
{
    return guideLink("turn-off-find-my-iphone", QStringLiteral(" this tutorial"));
}

bool has(const QString& message, const char* phrase)
{
    return message.contains(QLatin1String(phrase), Qt::CaseInsensitive);
}

// The steps for a lost or refused connection; an empty text when the
// message is about something else.
QString connectionSteps(const QString& message, const char* context)
{
    const bool lost = has(message, "Connection to device lost");
    if (!lost && !has(message, "until Setup is finished"))
        return QString();
    const QString heading =
        lost ? QCoreApplication::translate(context, "Connection to device lost. Please try the following solutions: <br/><br/>")
             : QCoreApplication::translate(context, "Failed to connect your iPhone. Please try the following solutions: <br/><br/>");
    return heading
        + QCoreApplication::translate(context, "A:<br/>Step 1) Restart your iPhone.<br/>Step 2) Connect your iPhone to "
                                               "iTunes to backup your iPhone on computer. <br/>Step 3) Run Quillsprout "
                                               "software to try again. <br/><br/>")
        + QCoreApplication::translate(context, "B:<br/>Step 1) Delete the lockdown folder from your computer.(")
        + lockdownLink()
        + QCoreApplication::translate(context, ") <br/>Step 2) Connect your iPhone to iTunes to backup your iPhone on "
                                               "computer.<br/>Step 3) Run Quillsprout software to try again. <br/>");
}

// The last line of every advice: the tutorial after `lead`, or a restart.
QString closingLine(const char* context, const char* lead, bool tutorial)
{
    if (!tutorial)
        return QCoreApplication::translate(context, "<br/><br/>Note: You can restart your device to try again.");
    return QCoreApplication::translate(context, lead) + tutorialLink()
        + QCoreApplication::translate(context, " to try.");
}

// "%1 GB ..." for the free space that a restore lacks; empty when the
// message does not say how much.
QString freeSpaceAdvice(const QString& message)
{
    static const QRegularExpression pattern(
        QStringLiteral("Insufficient free disk space on device to restore \\((\\d+) [^\\d]+ (\\d+)\\)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(message);
    if (!match.hasMatch())
        return QString();
    const double gigabytes = double(match.captured(2).toLongLong()) / 1024 / 1024 / 1024;
    return QCoreApplication::translate(kRestoreContext,
                                       "%1 GB free disk space on your device is required restore data.  Please remove "
                                       "some camera roll videos from your device to computer to free up disk space "
                                       "first and then try again.")
        .arg(QString::number(gigabytes, 'g', 1));
}

} // namespace

QString iosbackup_backup_advice(const QString& message, bool tutorial)
{
    const QString steps = connectionSteps(message, kBackupContext);
    return (steps.isEmpty() ? message : steps)
        + closingLine(kBackupContext, QT_TRANSLATE_NOOP("IOSMobileBackupThread", "<br/><br/>Note: You can follow this "),
                      tutorial);
}

QString iosbackup_restore_advice(const QString& message, bool tutorial)
{
    QString advice;
    if (has(message, "Find My iPhone must be disabled")) {
        advice = QCoreApplication::translate(kRestoreContext, "Please follow ") + findMyIPhoneLink()
            + QCoreApplication::translate(kRestoreContext, " to disable \"Find my iPhone\" first and then restart your "
                                                           "iPhone to try again.<br/><br/>");
    } else {
        advice = freeSpaceAdvice(message);
        if (advice.isEmpty())
            advice = connectionSteps(message, kRestoreContext);
        if (advice.isEmpty())
            advice = message;
    }
    return advice
        + closingLine(kRestoreContext, QT_TRANSLATE_NOOP("IOSMobileRestoreThread", "<br/><br/>Tip: You can follow this "),
                      tutorial);
}
