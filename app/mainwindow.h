// The application's main window: the source tree (devices, local databases,
// conversations), the message list and the conversation browser, with the
// menus, the toolbar and the announcement in the status bar. It owns the two
// item models; every node with its database and messages belongs to the
// source tree model.
#pragma once

#include <QItemSelection>
#include <QList>
#include <QMainWindow>

#include "abstreeitemmodel.h"

class QAction;
class QLabel;
class QMenu;
class DeviceRoad;
class ItemModelMain;
class ItemModelSms;
class Ui_MainWindow;
class VersionCheck;
struct _MsgMessage;
struct MenuActionState;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Closes the window and ends the event loop normally.
    void exitProgram();

    // Shows the list, sorted by the message list's sort order, in the list
    // and the browser.
    void showMessages(QList<_MsgMessage*> messages);
    // Empties the list, the browser and the count.
    void resetMessagesShow();
    // The messages of the selected list rows, in selection order.
    QList<_MsgMessage*> selectedMessages() const;
    // Every message of the current device or local database, read afresh and
    // sorted; empty (after an error box when reading failed) otherwise.
    QList<_MsgMessage*> curAllMessages();
    // Expands the node and makes it current once the event loop runs.
    void iniShowDSNode(const AbsTreeItemModel::_ItemNode* node);

    Ui_MainWindow* form() const { return ui; }
    ItemModelMain* sourceModel() const { return mainModel; }
    ItemModelSms* messageModel() const { return smsModel; }
    QLabel* announcementLabel() const { return advLabel; }
    VersionCheck* versionChecker() const { return versionCheck; }

public slots:
    // An attached iPhone: its databases copied into its cache folder, then
    // shown as a device node with its conversations (deviceroad.h).
    void iosDeviceConnected(void* device);
    // Removes the first device node holding that handle, with its messages;
    // while an operation runs, once it has ended.
    void iosDeviceDisconnected(void* device);
    void onMainTreeSelected(const QItemSelection& selected, const QItemSelection& deselected);
    void onSMSItemSelected(const QItemSelection& selected, const QItemSelection& deselected);
    void onSMSSortIndicatorChanged(int logicalIndex, Qt::SortOrder order);
    void searchMessages();
    void searchCotnact();

    // The context menus of the source tree and of the message list, built
    // for the current node, shown at the pointer and destroyed.
    void onMainTreeContextMenu();
    void onSMSContextMenu();

    // File menu and toolbar: each takes the selected rows, else the shown
    // conversation, else all messages of the current device or database.
    void miBackup();
    void miI2I();
    void miDb2I();
    void miExport();
    void miPrint();
    void miDel();
    void miImportItunes();
    void miImportToLocalDb();
    // The same operations on every message of the current device or
    // database, on the shown conversation, and on the selected rows.
    void miBackupAll();
    void miI2IAll();
    void miDb2IAll();
    void miExportAll();
    void miPrintAll();
    void miExport2iTunesAll();
    void miDelAll();
    void miBackupChat();
    void miI2IChat();
    void miDb2IChat();
    void miExportChat();
    void miPrintChat();
    void miExport2iTunesChat();
    void miDelChat();
    void miBackupSel();
    void miI2ISel();
    void miDb2ISel();
    void miExportSel();
    void miPrintSel();
    void miExport2iTunesSel();
    void miDelSel();
    // Writing into an iTunes backup by the scope rule of the File menu.
    void miExport2iTunes();

    // Tools and Help, and the device node's cache and disconnect entries.
    void miOpenDbFolder();
    void miViewCache();
    void miUnmoutDevice();
    void miCheckUpdate();
    void miClearCache();
    void miHelp();
    void miFeedback();
    void miAbout();
    void miHome();

public:
    // Export and print commands (exportcommands.h): the save dialog and the
    // export worker behind its progress dialog; the print preview.
    void exportSMS(const QList<_MsgMessage*>& messages);
    void printSMS(const QList<_MsgMessage*>& messages);
    // iTunes backup commands (itunescommands.h): the messages written into a
    // backup the user picks, or transferred to an attached device through a
    // fresh backup of it that is then restored.
    void export2iTunes(const QList<_MsgMessage*>& messages);
    void restore2ios(const QList<_MsgMessage*>& messages);
    // Backing up into a local database (localdbcommands.h): the default name
    // from the current device or database, then the chooser, the worker and
    // the refresh of the database's node, which is then shown.
    void backupMessages(const QList<_MsgMessage*>& messages);
    void backupMessages(const QString& defaultName, const QList<_MsgMessage*>& messages);
    // Every message of an iTunes backup the user picks, backed up into a
    // local database; `name` is the chooser's default, derived from the
    // backup when empty.
    void importFromiTunes(const QString& name);

    // The scope that a File menu command takes now.
    enum class MessageScope { None, Selected, Chat, All };
    MessageScope operationScope() const;
    // The messages a command takes in that scope; all messages are read
    // afresh (empty after an error box when reading failed).
    QList<_MsgMessage*> messagesIn(MessageScope scope);
    // The context menus that a request would show now (owned by the caller;
    // null when none is shown).
    QMenu* newMainTreeContextMenu();
    QMenu* newSMSContextMenu();

private:
    void connectViews();
    void setUpModels();
    void setUpAnnouncement();
    void startDeviceListener();
    void listLocalDatabases();
    void listSavedDevices();

    // Menus and toolbar: the entries with their slots, and their states.
    void initMainMenu();
    void updateMenuActionState();
    void applyMenuActionState(const MenuActionState& state);
    // Device nodes under the devices root, saved ones too.
    int deviceCount() const;
    // Runs the operation on the messages of the scope.
    void runOn(MessageScope scope, void (MainWindow::*operation)(const QList<_MsgMessage*>&));
    // The list, the browser and the source tree's current index let go of
    // the current node, which a command is about to free.
    void letGoOfCurrentNode();

    void connectDeviceRoad();
    // Whether the list and the browser show the node's messages now (it, or
    // one of its conversations, is current).
    bool showsMessagesOf(const AbsTreeItemModel::_ItemNode* node) const;

    void showNode(AbsTreeItemModel::_ItemNode* node);
    const AbsTreeItemModel::_ItemNode* currentSourceNode() const;
    Qt::SortOrder sortOrder() const;

    Ui_MainWindow* ui;
    ItemModelMain* mainModel = nullptr;
    ItemModelSms* smsModel = nullptr;
    VersionCheck* versionCheck = nullptr;
    QLabel* advLabel = nullptr;
    QAction* actionBackup = nullptr;
    QAction* actionI2I = nullptr;
    QAction* actionDb2I = nullptr;
    QAction* actionExport = nullptr;
    QAction* actionPrint = nullptr;
    QAction* actionDelete = nullptr;
    DeviceRoad* deviceRoad = nullptr;
};
