#include "mainwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>

#include "data_path_util.h"
#include "deviceroad.h"
#include "desktopopen.h"
#include "ios6messagedb.h"
#include "itemmodelmain.h"
#include "itemmodelsms.h"
#include "mobiledevice_session.h"
#include "mytreeview.h"
#include "productinfo.h"
#include "smsbrowser.h"
#include "stylesheet.h"
#include "tips.h"
#include "ui_mainwindow.h"
#include "versioncheck.h"

namespace {

// Subfolders only, without hidden ones, in name order.
QStringList subfolders(const QDir& dir)
{
    return dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

QSharedPointer<AbsMessageDb> folderDatabase(const QString& path)
{
    return QSharedPointer<AbsMessageDb>(new IOS6MessageDb(QDir(path), _CountryInfo(), true));
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
{
    ui->setupUi(this);
    setStyleSheet(getStyleSheet());
    connectViews();
    ui->splitter->setSizes({250, 750});
    setUpModels();
    connectDeviceRoad();
    initMainMenu();
    setWindowTitle(g_productTitle());
    setUpAnnouncement();
    startDeviceListener();
    listLocalDatabases();
    ui->treeViewDS->expand(mainModel->indexOfItemNode(mainModel->rootLocalDb));
    versionCheck = new VersionCheck(this);
    connect(versionCheck, &VersionCheck::announcement, advLabel, &QLabel::setText);
    connect(versionCheck, &VersionCheck::exitRequested, this, &MainWindow::exitProgram);
    versionCheck->startIfDue();
    listSavedDevices();
}

MainWindow::~MainWindow()
{
    // Notifications may still come from the framework's thread: none may
    // reach the window once it is going.
    deviceRoad->stopListening();
    // The views go with the window's widgets; they must not outlive the
    // models' data, so detach them first.
    ui->treeViewSMS->setModel(nullptr);
    ui->treeViewDS->setModel(nullptr);
    ui->txtSMS->clearHtml();
    delete ui;
}

void MainWindow::exitProgram()
{
    close();
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

void MainWindow::connectViews()
{
    connect(ui->treeViewDS, &MyTreeView::onSelectionChanged, this, &MainWindow::onMainTreeSelected);
    connect(ui->treeViewSMS, &MyTreeView::onSelectionChanged, this, &MainWindow::onSMSItemSelected);
    connect(ui->treeViewDS, &MyTreeView::createContextMenu, this, &MainWindow::onMainTreeContextMenu);
    connect(ui->treeViewSMS, &MyTreeView::createContextMenu, this, &MainWindow::onSMSContextMenu);
    connect(ui->btnSearchHandle, &QToolButton::pressed, this, &MainWindow::searchCotnact);
    connect(ui->txtHandleKeyword, &QLineEdit::returnPressed, this, &MainWindow::searchCotnact);
    connect(ui->btnSearchSMS, &QToolButton::pressed, this, &MainWindow::searchMessages);
    connect(ui->txtSMSKeyword, &QLineEdit::returnPressed, this, &MainWindow::searchMessages);
}

void MainWindow::setUpModels()
{
    mainModel = new ItemModelMain(this);
    ui->treeViewDS->setModel(mainModel);
    ui->treeViewDS->expandAll();

    smsModel = new ItemModelSms(this);
    MyTreeView* list = ui->treeViewSMS;
    list->setSortingEnabled(true);
    list->header()->setSectionsMovable(false);
    // Set before the connection, so the initial order does not re-sort.
    list->header()->setSortIndicator(0, Qt::AscendingOrder);
    connect(list->header(), &QHeaderView::sortIndicatorChanged, this, &MainWindow::onSMSSortIndicatorChanged);
    // Every row is one line of the same height: the view need not measure
    // the rows of a long list.
    list->setUniformRowHeights(true);
    list->setModel(smsModel);
    list->setColumnWidth(0, 160);
    list->setColumnWidth(1, 50);
    list->setColumnWidth(2, 120);
}

void MainWindow::connectDeviceRoad()
{
    deviceRoad = new DeviceRoad(*mainModel, this);
    connect(deviceRoad, &DeviceRoad::deviceListed, this, &MainWindow::iniShowDSNode);
    // The list and the browser let go of the node's messages; what they show
    // of another device or a local database stays.
    connect(deviceRoad, &DeviceRoad::nodeGoing, this, [this](const AbsTreeItemModel::_ItemNode* node) {
        if (showsMessagesOf(node))
            resetMessagesShow();
    });
}

bool MainWindow::showsMessagesOf(const AbsTreeItemModel::_ItemNode* node) const
{
    const AbsTreeItemModel::_ItemNode* current = currentSourceNode();
    return current && (current == node || current->parent == node);
}

void MainWindow::iosDeviceConnected(void* device)
{
    deviceRoad->attach(device);
}

void MainWindow::iosDeviceDisconnected(void* device)
{
    deviceRoad->detach(device);
}

// The announcement of the last run is shown before any request. Its links
// come from the network: they open only as http or https links.
void MainWindow::setUpAnnouncement()
{
    advLabel = new QLabel(ui->statusBar);
    advLabel->setOpenExternalLinks(false);
    connect(advLabel, &QLabel::linkActivated, this, [](const QString& link) { g_openLinkOrTell(link); });
    ui->statusBar->setStyleSheet(QStringLiteral("QStatusBar::item{border: 0px}"));
    ui->statusBar->addWidget(advLabel, 0);
    advLabel->setText(VersionCheck::savedAnnouncement());
}

void MainWindow::startDeviceListener()
{
    deviceRoad->listen(
        _mobiledevice_listen_ctx(this, &MainWindow::iosDeviceConnected, &MainWindow::iosDeviceDisconnected));
}

// Nothing is opened here: a local database is read when its node is first
// selected, so a damaged one is reported then.
void MainWindow::listLocalDatabases()
{
    const QDir dir = g_localDbDir();
    for (const QString& name : subfolders(dir))
        mainModel->addLocalDb(folderDatabase(dir.absoluteFilePath(name)), name);
}

// Saved devices: folders laid out like local databases, each shown as a
// device without a handle whose id is the folder's path. Their conversations
// are read at once.
void MainWindow::listSavedDevices()
{
    const QDir dir(g_dataSaveDir().absoluteFilePath(QStringLiteral("virtual_ios")));
    if (!dir.exists())
        return;
    for (const QString& name : subfolders(dir)) {
        IOSDevice device;
        device.deviceName = name;
        device.udid = dir.absoluteFilePath(name);
        _IOSDeviceItemNode* node = mainModel->addIOSDevice(folderDatabase(device.udid), device);
        try {
            node->db->chats(node->data);
            mainModel->listChats(node);
        } catch (const std::exception& e) {
            Tips::error(QString::fromUtf8(e.what()));
        }
    }
}
