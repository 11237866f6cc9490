// The main window's menu bar and toolbar, the states of the six message
// operations, which follow the source tree's current node, and the two
// context menus.
#include "mainwindow.h"

#include "contextmenus.h"
#include "itemmodelmain.h"
#include "menuactionstate.h"
#include "menuentries.h"
#include "mytreeview.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QCursor>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <memory>

namespace {

// The six message operations come first; initMainMenu keeps their actions.
const QList<MenuEntry> kFileEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Backup SMS to Local Database"), ":res/backup.png",
     windowSlot<&MainWindow::miBackup>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Transfer iPhone SMS to other iPhone"), ":res/i2i.png",
     windowSlot<&MainWindow::miI2I>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Transfer SMS from Database to iPhone"), ":res/db2i.png",
     windowSlot<&MainWindow::miDb2I>, 0},
    {nullptr, nullptr, nullptr, 0},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS to File"), ":res/export.png", windowSlot<&MainWindow::miExport>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Print SMS"), ":res/print.png", windowSlot<&MainWindow::miPrint>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Delete SMS"), ":res/delete.png", windowSlot<&MainWindow::miDel>, 0},
    {nullptr, nullptr, nullptr, 0},
    {QT_TRANSLATE_NOOP("QObject", "Import SMS from iTunes Backup to Local Database"), ":res/import_itunes.png",
     windowSlot<&MainWindow::miImportItunes>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Open Database Folder"), ":res/open_db_folder.png",
     windowSlot<&MainWindow::miOpenDbFolder>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Exit"), ":res/exit.png", windowSlot<&MainWindow::close>, 0},
};

const QList<MenuEntry> kToolsEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Check for Update"), nullptr, windowSlot<&MainWindow::miCheckUpdate>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Clear Cache files"), nullptr, windowSlot<&MainWindow::miClearCache>, 0},
};

const QList<MenuEntry> kHelpEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Help"), ":res/help.png", windowSlot<&MainWindow::miHelp>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Feedback and Support"), nullptr, windowSlot<&MainWindow::miFeedback>, 0},
    {QT_TRANSLATE_NOOP("QObject", "About"), nullptr, windowSlot<&MainWindow::miAbout>, 0},
};

void showAndDelete(QMenu* menu)
{
    if (!menu)
        return;
    std::unique_ptr<QMenu> owned(menu);
    owned->exec(QCursor::pos());
}

} // namespace

void MainWindow::initMainMenu()
{
    // The titles are not translated.
    QMenu* file = ui->menuBar->addMenu(QStringLiteral("File"));
    const QList<QAction*> fileActions = addMenuEntries(file, kFileEntries, this, 0);
    addMenuEntries(ui->menuBar->addMenu(QStringLiteral("Tools")), kToolsEntries, this, 0);
    addMenuEntries(ui->menuBar->addMenu(QStringLiteral("Help")), kHelpEntries, this, 0);

    actionBackup = fileActions.at(0);
    actionI2I = fileActions.at(1);
    actionDb2I = fileActions.at(2);
    actionExport = fileActions.at(3);
    actionPrint = fileActions.at(4);
    actionDelete = fileActions.at(5);
    // Nothing is chosen yet, so no operation applies.
    applyMenuActionState(MenuActionState());

    ui->mainToolBar->addAction(actionBackup);
    ui->mainToolBar->addAction(actionI2I);
    ui->mainToolBar->addAction(actionDb2I);
    ui->mainToolBar->addSeparator();
    ui->mainToolBar->addAction(actionExport);
    ui->mainToolBar->addAction(actionPrint);
    ui->mainToolBar->addAction(actionDelete);
}

void MainWindow::updateMenuActionState()
{
    // Giving the view its model changes the selection before the menus exist.
    if (!actionBackup)
        return;
    // Called while the selection changes, before the current index follows
    // it: the newly selected node is the one that counts.
    const QModelIndexList selected = ui->treeViewDS->selectionModel()->selectedIndexes();
    const AbsTreeItemModel::_ItemNode* node = selected.isEmpty()
        ? currentSourceNode()
        : static_cast<const AbsTreeItemModel::_ItemNode*>(selected.first().internalPointer());
    applyMenuActionState(menuActionState(node, deviceCount()));
}

void MainWindow::applyMenuActionState(const MenuActionState& state)
{
    actionI2I->setEnabled(state.i2i);
    actionDb2I->setEnabled(state.db2i);
    actionBackup->setEnabled(state.backup);
    actionExport->setEnabled(state.exportSms);
    actionPrint->setEnabled(state.print);
    actionDelete->setEnabled(state.del);
}

int MainWindow::deviceCount() const
{
    return mainModel->rootDevice->deviceCount(ITEMNODE_IOS_DEVICE);
}

QMenu* MainWindow::newMainTreeContextMenu()
{
    return newSourceTreeMenu(currentSourceNode(), deviceCount(), this);
}

QMenu* MainWindow::newSMSContextMenu()
{
    return newMessageListMenu(currentSourceNode(), deviceCount(), this);
}

void MainWindow::onMainTreeContextMenu()
{
    showAndDelete(newMainTreeContextMenu());
}

void MainWindow::onSMSContextMenu()
{
    showAndDelete(newSMSContextMenu());
}
