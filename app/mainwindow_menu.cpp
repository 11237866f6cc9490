// The main window's menus and toolbar, and the states of the six operation
// entries, which follow the current source-tree node.
#include "mainwindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QMenuBar>
#include <QToolBar>

#include "itemmodelmain.h"
#include "mytreeview.h"
#include "ui_mainwindow.h"

void MainWindow::initMainMenu()
{
    QMenu* file = ui->menuBar->addMenu(QStringLiteral("File"));
    auto operation = [&](const char* text) {
        QAction* action = file->addAction(QCoreApplication::translate("QObject", text));
        action->setEnabled(false);
        ui->mainToolBar->addAction(action);
        return action;
    };
    actionBackup = operation(QT_TRANSLATE_NOOP("QObject", "Backup SMS to Local Database"));
    actionI2I = operation(QT_TRANSLATE_NOOP("QObject", "Transfer iPhone SMS to other iPhone"));
    actionDb2I = operation(QT_TRANSLATE_NOOP("QObject", "Transfer SMS from Database to iPhone"));
    actionExport = operation(QT_TRANSLATE_NOOP("QObject", "Export SMS to File"));
    actionPrint = operation(QT_TRANSLATE_NOOP("QObject", "Print SMS"));
    actionDelete = operation(QT_TRANSLATE_NOOP("QObject", "Delete SMS"));
}

void MainWindow::updateMenuActionState()
{
    if (!actionBackup)
        return; // the views announce their first model before the menus exist
    // Called while the selection changes, before the current index follows.
    const QModelIndexList selected = ui->treeViewDS->selectionModel()->selectedIndexes();
    const AbsTreeItemModel::_ItemNode* node = selected.isEmpty()
        ? currentSourceNode()
        : static_cast<const AbsTreeItemModel::_ItemNode*>(selected.first().internalPointer());
    if (node && node->type == ITEMNODE_CHAT_SESSION)
        node = node->parent;
    const int type = node ? node->type : 0;
    const int devices = mainModel->rootDevice->deviceCount(ITEMNODE_IOS_DEVICE);
    const bool device = type == ITEMNODE_IOS_DEVICE;
    const bool local = type == ITEMNODE_LOCALDB;
    actionBackup->setEnabled(device);
    actionI2I->setEnabled(device && devices >= 2);
    actionDb2I->setEnabled(local && devices >= 1);
    actionExport->setEnabled(device || local);
    actionPrint->setEnabled(device || local);
    actionDelete->setEnabled(local);
}
