#include "exportsmsthread.h"

#include "messageexporter.h"
#include "progressform.h"

ExportSMSThread::ExportSMSThread(const QList<_MsgMessage*>& messages, const QString& path, FormatType format,
                                 bool ascending, ProgressForm& progress, QObject* parent)
    : QThread(parent)
    , m_messages(messages)
    , m_path(path)
    , m_format(format)
    , m_ascending(ascending)
    , m_progress(progress)
{
}

void ExportSMSThread::run()
{
    try {
        MessageExporter exporter(m_messages, m_path, m_format, m_ascending);
        const int written = exporter.run(m_progress);
        m_progress.invokeSucceed(tr("IDS_SUC_EXPORT_%1_MMS").arg(written));
    } catch (const Cancelled&) {
        // The dialog has closed already; the output is gone.
    } catch (const std::exception& e) {
        m_progress.invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}
