// The main window's export and print commands: the slots of each scope
// (the File menu's command picks one in mainwindow_operations.cpp), all
// ending in exportSMS or printSMS.
#include "mainwindow.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>

#include "exportsmsthread.h"
#include "exporttarget.h"
#include "itemmodelsms.h"
#include "mytreeview.h"
#include "progressform.h"
#include "progressrunner.h"
#include "smsprinter.h"
#include "tips.h"
#include "ui_mainwindow.h"

void MainWindow::miExportSel()
{
    exportSMS(selectedMessages());
}

void MainWindow::miExportChat()
{
    exportSMS(smsModel->messages());
}

void MainWindow::miExportAll()
{
    const QList<_MsgMessage*> messages = curAllMessages();
    if (!messages.isEmpty())
        exportSMS(messages);
}

void MainWindow::miPrintSel()
{
    printSMS(selectedMessages());
}

void MainWindow::miPrintChat()
{
    printSMS(smsModel->messages());
}

void MainWindow::miPrintAll()
{
    const QList<_MsgMessage*> messages = curAllMessages();
    if (!messages.isEmpty())
        printSMS(messages);
}

void MainWindow::exportSMS(const QList<_MsgMessage*>& messages)
{
    const QStringList filters = ExportTarget::fileTypeFilters();
    const QString suggested = QDir::home().filePath(
        QStringLiteral("sms(%1)").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))));
    QString filter;
    const QString chosen = QFileDialog::getSaveFileName(this, tr("IDS_SEL_EXPORT_MESSAGES_PATH"), suggested,
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
    const bool ascending = ui->treeViewSMS->header()->sortIndicatorOrder() == Qt::AscendingOrder;
    ProgressForm form(QString(), this);
    ExportSMSThread worker(messages, target.path, target.format, ascending, form, this);
    g_runWithProgress(form, worker);
}

void MainWindow::printSMS(const QList<_MsgMessage*>& messages)
{
    SMSPrinter printer(this);
    printer.printSMS(messages);
}
