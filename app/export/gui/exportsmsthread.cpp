#include "exportsmsthread.h"

#include "messageexporter.h"
#include "progressform.h"
#include "progressreporter.h"

namespace {

// The dialog as the export's progress-and-cancel channel.
class FormReporter : public ProgressReporter
{
public:
    explicit FormReporter(ProgressForm& form)
        : m_form(form)
    {
    }

    void reportProgress(const QString& status, int percent, const QString& detail) override
    {
        m_form.invokeUpdateProgress(status, percent, detail);
    }

    bool isCancelled() const override
    {
        return m_form.cancelled || QThread::currentThread()->isInterruptionRequested();
    }

private:
    ProgressForm& m_form;
};

} // namespace

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
    FormReporter reporter(m_progress);
    try {
        MessageExporter exporter(m_messages, m_path, m_format, m_ascending);
        const int written = exporter.run(reporter);
        m_progress.invokeSucceed(tr("IDS_SUC_EXPORT_%1_MMS").arg(written));
    } catch (const Cancelled&) {
        // The dialog has closed already; the output is gone.
    } catch (const std::exception& e) {
        m_progress.invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}
