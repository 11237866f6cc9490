#include "exportcommands.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>

#include "exportsmsthread.h"
#include "exporttarget.h"
#include "progressform.h"
#include "progressrunner.h"
#include "smsprinter.h"
#include "tips.h"

namespace ExportCommands {

void exportMessages(const QList<_MsgMessage*>& messages, bool ascending, QWidget* parent)
{
    const QStringList filters = ExportTarget::fileTypeFilters();
    const QString suggested = QDir::home().filePath(
        QStringLiteral("sms(%1)").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))));
    QString filter;
    const QString chosen = QFileDialog::getSaveFileName(
        parent, QCoreApplication::translate("MainWindow", "IDS_SEL_EXPORT_MESSAGES_PATH"), suggested,
        filters.join(QLatin1String(";;")), &filter);
    if (chosen.isEmpty())
        return;
    ExportTarget target;
    try {
        target = ExportTarget::fromChoice(chosen, int(filters.indexOf(filter)));
    } catch (const std::exception& e) {
        Tips::error(QString::fromUtf8(e.what()));
        return;
    }
    ProgressForm form(QString(), parent);
    ExportSMSThread worker(messages, target.path, target.format, ascending, form, parent);
    g_runWithProgress(form, worker);
}

void printMessages(const QList<_MsgMessage*>& messages, QWidget* parent)
{
    SMSPrinter printer(parent);
    printer.printSMS(messages);
}

} // namespace ExportCommands
