// The message operations as the menus reach them: the File menu's commands
// pick their scope (the selected rows, the shown conversation, or all
// messages of the current device or local database) and the scoped slots
// run the operation.
//
// The operations themselves come with their workers: backup and import in
// mainwindow_localdb_backup.cpp, deletion in mainwindow_localdb_delete.cpp,
// export and printing in mainwindow_export.cpp, the iTunes backup roads in
// mainwindow_itunes.cpp.
#include "mainwindow.h"

#include "itemmodelmain.h"
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

void MainWindow::runScoped(void (MainWindow::*selected)(), void (MainWindow::*chat)(), void (MainWindow::*all)())
{
    switch (operationScope()) {
    case MessageScope::None:
        return;
    case MessageScope::Selected:
        (this->*selected)();
        return;
    case MessageScope::Chat:
        (this->*chat)();
        return;
    case MessageScope::All:
        (this->*all)();
        return;
    }
}

void MainWindow::miBackup() { runScoped(&MainWindow::miBackupSel, &MainWindow::miBackupChat, &MainWindow::miBackupAll); }
void MainWindow::miI2I() { runScoped(&MainWindow::miI2ISel, &MainWindow::miI2IChat, &MainWindow::miI2IAll); }
void MainWindow::miDb2I() { runScoped(&MainWindow::miDb2ISel, &MainWindow::miDb2IChat, &MainWindow::miDb2IAll); }
void MainWindow::miExport() { runScoped(&MainWindow::miExportSel, &MainWindow::miExportChat, &MainWindow::miExportAll); }
void MainWindow::miPrint() { runScoped(&MainWindow::miPrintSel, &MainWindow::miPrintChat, &MainWindow::miPrintAll); }
void MainWindow::miDel() { runScoped(&MainWindow::miDelSel, &MainWindow::miDelChat, &MainWindow::miDelAll); }

