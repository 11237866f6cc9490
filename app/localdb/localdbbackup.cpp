#include "localdbbackup.h"

#include "msgdata.h"
#include "progressreporter.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("BackupSMSThread", text);
}

// Progress is shown when its percentage changes or after this long, so that
// a large backup does not flood the dialog with one update per message.
constexpr qint64 kReportIntervalMs = 100;

} // namespace

LocalDbBackup::LocalDbBackup(const QList<_MsgMessage*>& messages, const QDir& dbDir, const _CountryInfo& country)
    : m_messages(messages)
    , m_writer(dbDir, country)
{
    sortMsgMessages(m_messages, false);
}

int LocalDbBackup::run(ProgressReporter& reporter)
{
    const QString status = tr("IDS_BACKING_UP_SMS");
    reporter.reportProgress(status, 0, QString());
    const int total = int(m_messages.size());
    int done = 0;
    int lastPercent = -1;
    QElapsedTimer clock;
    clock.start();
    qint64 lastReportMs = 0;
    try {
        m_writer.init();
        for (_MsgMessage* message : std::as_const(m_messages)) {
            reporter.throwIfCancelled();
            ++done;
            const int percent = int(double(done) / total * 100.0);
            const qint64 now = clock.elapsed();
            if (percent != lastPercent || done == total || now - lastReportMs >= kReportIntervalMs) {
                reporter.reportProgress(status, percent, tr("SMS: %1/%2").arg(done).arg(total));
                lastPercent = percent;
                lastReportMs = now;
            }
            m_writer.write(*message);
        }
        m_writer.uninit();
    } catch (...) {
        // The open transaction goes with the connection.
        m_writer.abandon();
        throw;
    }
    return done;
}
