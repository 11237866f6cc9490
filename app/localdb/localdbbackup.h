// One backup of messages into a local database: the messages in date order
// (oldest first), written through the local-database writer in a single
// transaction, with progress per message and a cancel checked before each.
// A cancel or a failure closes the database without committing, so it keeps
// nothing of the run.
#pragma once

#include "exportmessagesdb.h"

#include <QDir>
#include <QList>

class ProgressReporter;
struct _CountryInfo;
struct _MsgMessage;

class LocalDbBackup
{
public:
    // Copies the list and sorts the copy; opens nothing. The messages must
    // stay unchanged until run() returns.
    LocalDbBackup(const QList<_MsgMessage*>& messages, const QDir& dbDir, const _CountryInfo& country);

    // Writes the messages and returns how many were handed to the writer
    // (skipped ones count). Leaves with Cancelled or a std::exception, the
    // database then left as it was.
    int run(ProgressReporter& reporter);

    const QList<_MsgMessage*>& messages() const { return m_messages; }
    ExportMessagesDb& writer() { return m_writer; }

private:
    QList<_MsgMessage*> m_messages;
    ExportMessagesDb m_writer;
};
