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
class ItemModelMain;
class ItemModelSms;
class Ui_MainWindow;
class VersionCheck;
struct _MsgMessage;

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
    void iosDeviceConnected(void* device);
    // Removes the first device node holding that handle, with its messages.
    void iosDeviceDisconnected(void* device);
    void onMainTreeSelected(const QItemSelection& selected, const QItemSelection& deselected);
    void onSMSItemSelected(const QItemSelection& selected, const QItemSelection& deselected);
    void onSMSSortIndicatorChanged(int logicalIndex, Qt::SortOrder order);
    void searchMessages();
    void searchCotnact();

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
};
