// The export and print commands on a list of messages: the save dialog and
// the export worker behind its progress dialog, and the print preview. The
// dialogs are children of `parent`.
#pragma once

#include <QList>

class QWidget;
struct _MsgMessage;

namespace ExportCommands {

// Asks where and in which format, then writes the messages; `ascending`
// orders the conversations of a PDF or HTML export by date.
void exportMessages(const QList<_MsgMessage*>& messages, bool ascending, QWidget* parent);
// Shows the print preview of the messages until it closes.
void printMessages(const QList<_MsgMessage*>& messages, QWidget* parent);

} // namespace ExportCommands
