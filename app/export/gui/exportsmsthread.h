// The export worker: runs one export (text, CSV, PDF or HTML) in its own
// thread behind the progress dialog, reporting progress, success and errors
// through the dialog and stopping at the dialog's cancel.
#pragma once

#include <QList>
#include <QString>
#include <QThread>

#include "exportformat.h"

class ProgressForm;
struct _MsgMessage;

class ExportSMSThread : public QThread
{
    Q_OBJECT
public:
    using FormatType = ExportFormat;

    // `path` is the file of a text or CSV export, the output folder of a PDF
    // or HTML export; `ascending` orders PDF and HTML exports. The messages
    // must not change until the worker has finished.
    ExportSMSThread(const QList<_MsgMessage*>& messages, const QString& path, FormatType format, bool ascending,
                    ProgressForm& progress, QObject* parent = nullptr);

protected:
    void run() override;

private:
    QList<_MsgMessage*> m_messages;
    QString m_path;
    FormatType m_format;
    bool m_ascending;
    ProgressForm& m_progress;
};
