#include "smsprinter.h"

#include "smsprinterprivacy.h"

#include <QPrintPreviewDialog>
#include <QPrinter>

SMSPrinter::SMSPrinter(QObject* parent)
    : QObject(parent)
{
}

void SMSPrinter::printSMS(const QList<_MsgMessage*>& messages)
{
    m_messages = messages;
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFormat(QPrinter::NativeFormat);
    if (!printer.isValid())
        printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);

    QPrintPreviewDialog dialog(&printer);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setModal(true);
    dialog.setWindowTitle(tr("IDS_PRINT_SMS"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &SMSPrinter::onPaintRequested);
    dialog.exec();
}

void SMSPrinter::onPaintRequested(QPrinter* printer)
{
    SMSPrinterPrivacy layout;
    if (!layout.reset(printer))
        return;
    const QList<_MsgMessage*> messages = m_messages;
    for (const _MsgMessage* message : messages)
        layout.print(*message);
    layout.end();
}
