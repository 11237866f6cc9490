// The process-wide message handler: every Qt message is appended as one line
// to a daily file "log-yyyyMMdd.txt" in the log folder.
#pragma once

#include <QString>
#include <QtGlobal>

// Remembers the folder, deletes all but the `keep` plain files with the
// greatest names, and installs the handler.
void logsaver_install_msghandler(const QString& folder, int keep);
// The handler itself.
void log_output(QtMsgType type, const QMessageLogContext& context, const QString& message);
