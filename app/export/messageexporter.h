// One export of messages to files: text and CSV into one file in the order
// given; PDF and HTML into an output folder, one file per conversation, the
// conversations explicitly grouped by their case-folded chat identifier and
// ordered by their last date, each conversation's messages by date, all in
// the direction asked. An HTML export also copies the plain files of the
// folders "bubble" and "emoji" beside the executable into the output folder's
// "files" and "emoji".
//
// A cancel or a failure removes exactly what this run created (files, and
// folders that did not exist before it) and nothing that stood there before.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QString>

#include "exportformat.h"

class ProgressReporter;
struct _MsgMessage;

class MessageExporter
{
public:
    MessageExporter(const QList<_MsgMessage*>& messages, const QString& path, ExportFormat format, bool ascending);

    // Writes the export and returns the number of messages written. Leaves
    // with Cancelled on a cancel and with std::exception on a failure, in
    // both cases after removing what it created.
    int run(ProgressReporter& reporter);

    // The file names of a PDF or HTML export, in the order written.
    QStringList fileNames() const { return m_fileNames; }

private:
    class Output;
    struct Conversation;

    int writeOneFile(ProgressReporter& reporter);
    int writeConversations(ProgressReporter& reporter, Output& output);
    QList<Conversation> conversations() const;
    void copyAssets(Output& output) const;
    void countMessage(ProgressReporter& reporter);

    QList<_MsgMessage*> m_messages;
    QString m_path;
    ExportFormat m_format;
    bool m_ascending;
    QStringList m_fileNames;
    int m_done = 0;
    int m_lastPercent = -1;
    qint64 m_lastReportMs = 0;
    QElapsedTimer m_clock;
};
