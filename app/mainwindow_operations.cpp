// The message operations as the menus reach them: the File menu's commands
// take the scope that applies now (the selected rows, the shown
// conversation, or all messages of the current device or local database),
// the scoped slots a fixed one; each picks its messages and hands them to
// the command that does the work (local databases, export and print, iTunes
// backups). The window keeps only what its views need around a command.
#include "mainwindow.h"

#include "exportcommands.h"
#include "itemmodelmain.h"
#include "itemmodelsms.h"
#include "itunescommands.h"
#include "localdbcommands.h"
#include "menuactionstate.h"
#include "mytreeview.h"
#include "ui_mainwindow.h"

#include <QItemSelectionModel>

MainWindow::MessageScope MainWindow::operationScope() const
{
    const AbsTreeItemModel::_ItemNode* node = currentSourceNode();
    if (!node)
        return MessageScope::None;
    if (ui->treeViewSMS->selectionModel()->hasSelection())
        return MessageScope::Selected;
    if (node->type == ITEMNODE_CHAT_SESSION)
        return MessageScope::Chat;
    return MessageScope::All;
}

QList<_MsgMessage*> MainWindow::messagesIn(MessageScope scope)
{
    switch (scope) {
    case MessageScope::None:
        return {};
    case MessageScope::Selected:
        return selectedMessages();
    case MessageScope::Chat:
        return smsModel->messages();
    case MessageScope::All:
        return curAllMessages();
    }
    return {};
}

// All messages that came out empty (nothing to read, or a failed read that
// has shown its error) run nothing; the selected rows and the shown
// conversation go as they are.
void MainWindow::runOn(MessageScope scope, void (MainWindow::*operation)(const QList<_MsgMessage*>&))
{
    if (scope == MessageScope::None)
        return;
    const QList<_MsgMessage*> messages = messagesIn(scope);
    if (scope == MessageScope::All && messages.isEmpty())
        return;
    (this->*operation)(messages);
}

void MainWindow::miBackup() { runOn(operationScope(), &MainWindow::backupMessages); }
void MainWindow::miI2I() { runOn(operationScope(), &MainWindow::restore2ios); }
void MainWindow::miDb2I() { runOn(operationScope(), &MainWindow::restore2ios); }
void MainWindow::miExport() { runOn(operationScope(), &MainWindow::exportSMS); }
void MainWindow::miPrint() { runOn(operationScope(), &MainWindow::printSMS); }
void MainWindow::miExport2iTunes() { runOn(operationScope(), &MainWindow::export2iTunes); }

void MainWindow::miDel()
{
    switch (operationScope()) {
    case MessageScope::None:
        return;
    case MessageScope::Selected:
        miDelSel();
        return;
    case MessageScope::Chat:
        miDelChat();
        return;
    case MessageScope::All:
        miDelAll();
        return;
    }
}

void MainWindow::miBackupAll() { runOn(MessageScope::All, &MainWindow::backupMessages); }
void MainWindow::miBackupChat() { runOn(MessageScope::Chat, &MainWindow::backupMessages); }
void MainWindow::miBackupSel() { runOn(MessageScope::Selected, &MainWindow::backupMessages); }
void MainWindow::miI2IAll() { runOn(MessageScope::All, &MainWindow::restore2ios); }
void MainWindow::miI2IChat() { runOn(MessageScope::Chat, &MainWindow::restore2ios); }
void MainWindow::miI2ISel() { runOn(MessageScope::Selected, &MainWindow::restore2ios); }
void MainWindow::miDb2IAll() { runOn(MessageScope::All, &MainWindow::restore2ios); }
void MainWindow::miDb2IChat() { runOn(MessageScope::Chat, &MainWindow::restore2ios); }
void MainWindow::miDb2ISel() { runOn(MessageScope::Selected, &MainWindow::restore2ios); }
void MainWindow::miExportAll() { runOn(MessageScope::All, &MainWindow::exportSMS); }
void MainWindow::miExportChat() { runOn(MessageScope::Chat, &MainWindow::exportSMS); }
void MainWindow::miExportSel() { runOn(MessageScope::Selected, &MainWindow::exportSMS); }
void MainWindow::miPrintAll() { runOn(MessageScope::All, &MainWindow::printSMS); }
void MainWindow::miPrintChat() { runOn(MessageScope::Chat, &MainWindow::printSMS); }
void MainWindow::miPrintSel() { runOn(MessageScope::Selected, &MainWindow::printSMS); }
void MainWindow::miExport2iTunesAll() { runOn(MessageScope::All, &MainWindow::export2iTunes); }
void MainWindow::miExport2iTunesChat() { runOn(MessageScope::Chat, &MainWindow::export2iTunes); }
void MainWindow::miExport2iTunesSel() { runOn(MessageScope::Selected, &MainWindow::export2iTunes); }

void MainWindow::exportSMS(const QList<_MsgMessage*>& messages)
{
    ExportCommands::exportMessages(messages, sortOrder() == Qt::AscendingOrder, this);
}

void MainWindow::printSMS(const QList<_MsgMessage*>& messages)
{
    ExportCommands::printMessages(messages, this);
}

void MainWindow::export2iTunes(const QList<_MsgMessage*>& messages)
{
    ITunesCommands(*mainModel, this).exportToBackup(messages, currentSourceNode());
}

void MainWindow::restore2ios(const QList<_MsgMessage*>& messages)
{
    ITunesCommands(*mainModel, this).transferToDevice(messages, currentSourceNode());
}

void MainWindow::backupMessages(const QList<_MsgMessage*>& messages)
{
    if (const AbsTreeItemModel::_ItemNode* owner = messageOwner(currentSourceNode()))
        backupMessages(owner->text + QStringLiteral("_Backup"), messages);
}

void MainWindow::backupMessages(const QString& defaultName, const QList<_MsgMessage*>& messages)
{
    if (_LocalDBItemNode* node = LocalDbCommands(*mainModel, this).backUp(defaultName, messages, currentSourceNode()))
        iniShowDSNode(node);
}

void MainWindow::miDelSel()
{
    const AbsTreeItemModel::_ItemNode* current = currentSourceNode();
    LocalDbCommands commands(*mainModel, this);
    if (!commands.deleteSelected(current, selectedMessages(), [this] { resetMessagesShow(); }))
        return;
    // Selecting the node again shows what is left of it.
    ui->treeViewDS->setCurrentIndex(QModelIndex());
    ui->treeViewDS->setCurrentIndex(mainModel->indexOfItemNode(current));
}

void MainWindow::miDelChat()
{
    LocalDbCommands(*mainModel, this).deleteConversation(currentSourceNode(), smsModel->messages(),
                                                         [this] { letGoOfCurrentNode(); });
}

void MainWindow::miDelAll()
{
    LocalDbCommands(*mainModel, this).deleteDatabase(currentSourceNode(), [this] { letGoOfCurrentNode(); });
}

void MainWindow::letGoOfCurrentNode()
{
    resetMessagesShow();
    ui->treeViewDS->setCurrentIndex(QModelIndex());
}

void MainWindow::miImportItunes()
{
    importFromiTunes(QString());
}

void MainWindow::miImportToLocalDb()
{
    const AbsTreeItemModel::_ItemNode* node = currentSourceNode();
    if (node && node->type == ITEMNODE_LOCALDB)
        importFromiTunes(node->text);
}

void MainWindow::importFromiTunes(const QString& name)
{
    if (_LocalDBItemNode* node = LocalDbCommands(*mainModel, this).importFromBackup(name, currentSourceNode()))
        iniShowDSNode(node);
}
