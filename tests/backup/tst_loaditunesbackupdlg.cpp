// The backup chooser and its list: the computer's backups newest first,
// folders without an index left to the link, a folder listed only once,
// loading by button and by double-click, the rows' icon and the column widths.
#include "backupfixture.h"
#include "backupmanifest.h"
#include "itemmodelloadbk.h"
#include "loaditunesbackupdlg.h"
#include "mobiledevice_loader.h"
#include "modalwatcher.h"
#include "temphome.h"
#include "translation.h"

#include <QAbstractItemModelTester>
#include <QFileDialog>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {

QDateTime may(int day)
{
    return QDateTime(QDate(2023, 5, day), QTime(10, 0), Qt::UTC);
}

// A backup folder with an index (unless told otherwise) and a manifest
// dated `date`.
QString writeBackup(const QString& folder, const QDateTime& date, bool withIndex = true)
{
    BackupFixture backup(folder, BackupFixture::Generation::ManifestDb);
    backup.addFile("HomeDomain", "Library/SMS/sms.db", "messages");
    if (withIndex)
        backup.write();
    else
        QDir().mkpath(folder);
    BackupFixtureManifest manifest;
    manifest.uniqueDeviceId = QFileInfo(folder).fileName();
    manifest.deviceName = "Phone " + QString::number(date.date().day());
    manifest.date = date;
    backup.writeManifest(manifest);
    return QFileInfo(folder).absoluteFilePath();
}

QTreeView* listOf(LoadItunesBackupDlg& dlg)
{
    return dlg.findChild<QTreeView*>(QStringLiteral("listBackups"));
}

// The listed folders, top row first.
QStringList listedPaths(LoadItunesBackupDlg& dlg)
{
    QStringList out;
    const QAbstractItemModel* model = listOf(dlg)->model();
    for (int row = 0; row < model->rowCount(); ++row)
        out << model->index(row, 2).data().toString();
    return out;
}

// Answers the folder dialog with `folder` (cancels it for an empty one).
void chooseFolder(ModalWatcher& watcher, const QString& folder)
{
    watcher.onDialog([folder](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog)
            return false;
        if (folder.isEmpty()) {
            dialog->reject();
            return true;
        }
        dialog->setDirectory(folder);
        QMetaObject::invokeMethod(dialog, "accept");
        return true;
    });
}

void clickAddOther(LoadItunesBackupDlg& dlg)
{
    QMetaObject::invokeMethod(&dlg, "btnAddOtherClicked", Q_ARG(QString, QStringLiteral("#")));
}

} // namespace

class TestLoadItunesBackupDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void modelKeepsNewestFirst();
    void modelData();
    void listsComputerBackupsNewestFirst();
    void unreadableBackupIsReportedAndSkipped();
    void addOtherFolder();
    void addingAListedFolderIsRefused();
    void loadNeedsARow();
    void doubleClickLoads();
    void rowIconFitsTheRow();
    void columnWidths_data();
    void columnWidths();

private:
    QString backupRoot() const { return m_home->file("Library/Application Support/MobileSync/Backup"); }

    std::unique_ptr<TempHome> m_home;
};

void TestLoadItunesBackupDlg::initTestCase()
{
    QString error;
    QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
    QVERIFY(installEnglishTranslation(QCoreApplication::instance()));
}

void TestLoadItunesBackupDlg::init()
{
    m_home = std::make_unique<TempHome>();
}

void TestLoadItunesBackupDlg::cleanup()
{
    m_home.reset();
}

void TestLoadItunesBackupDlg::modelKeepsNewestFirst()
{
    ItemModelLoadBk model;
    QAbstractItemModelTester tester(&model);
    const QList<QPair<QString, int>> added = {{"a", 1}, {"b", 3}, {"c", 2}, {"d", 2}, {"e", 3}};
    for (const auto& [name, day] : added) {
        writeBackup(m_home->file(name), may(day));
        QSharedPointer<BackupManifest> backup(new BackupManifest(m_home->file(name)));
        backup->readManifestInfo();
        ItemModelLoadBk::_BKItemNode* node = model.addBackup(backup);
        QCOMPARE(node->backup, backup);
        QCOMPARE(node->type, 0);
    }
    QStringList order;
    for (const QSharedPointer<BackupManifest>& backup : model.backups())
        order << backup->dir.dirName();
    // Same dates keep the order in which they were added.
    QCOMPARE(order, QStringList({"b", "e", "c", "d", "a"}));
}

void TestLoadItunesBackupDlg::modelData()
{
    ItemModelLoadBk model;
    const QString path = writeBackup(m_home->file("f00d"), may(2));
    writeBackup(m_home->file("beef"), may(1));
    for (const char* name : {"f00d", "beef"}) {
        QSharedPointer<BackupManifest> backup(new BackupManifest(m_home->file(name)));
        backup->readManifestInfo();
        model.addBackup(backup);
    }
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Backup Date"));
    QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Path"));
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    QVERIFY(!model.headerData(3, Qt::Horizontal).isValid());

    const QModelIndex first = model.index(0, 0);
    QCOMPARE(first.data().toString(), QStringLiteral("Phone 2"));
    QCOMPARE(first.data(Qt::ToolTipRole).toString(), QStringLiteral("Phone 2"));
    QCOMPARE(model.index(0, 1).data().toString(),
             QLocale::system().toString(may(2).toLocalTime(), QLocale::ShortFormat));
    QCOMPARE(model.index(0, 2).data().toString(), path);
    QCOMPARE(first.data(Qt::DecorationRole).value<QPixmap>().width(), 18);
    QVERIFY(!model.index(0, 1).data(Qt::DecorationRole).isValid());
    QCOMPARE(first.data(Qt::BackgroundRole).value<QBrush>().color(), QColor(250, 250, 250));
    QCOMPARE(model.index(1, 2).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 255, 255));
    QCOMPARE(first.data(Qt::SizeHintRole).toSize(), QSize(0, 25));
    QVERIFY(!first.data(Qt::FontRole).isValid());
    QVERIFY(!model.index(5, 0).data().isValid());
}

void TestLoadItunesBackupDlg::listsComputerBackupsNewestFirst()
{
    const QString may1 = writeBackup(backupRoot() + "/one", may(1));
    const QString may3 = writeBackup(backupRoot() + "/three", may(3));
    const QString may2 = writeBackup(backupRoot() + "/two", may(2));
    writeBackup(backupRoot() + "/no-index", may(4), false);
    writeBackup(backupRoot() + "/.hidden", may(5));
    ModalWatcher watcher;
    LoadItunesBackupDlg dlg;
    QCOMPARE(listedPaths(dlg), QStringList({may3, may2, may1}));
    QVERIFY(!listOf(dlg)->currentIndex().isValid());
    QVERIFY(watcher.shown().isEmpty());
    QCOMPARE(dlg.size(), QSize(600, 400));
    QCOMPARE(dlg.windowFlags() & (Qt::Dialog | Qt::FramelessWindowHint), Qt::Dialog | Qt::FramelessWindowHint);
}

void TestLoadItunesBackupDlg::unreadableBackupIsReportedAndSkipped()
{
    const QString good = writeBackup(backupRoot() + "/good", may(1));
    const QString bad = writeBackup(backupRoot() + "/bad", may(2));
    QVERIFY(QFile::remove(bad + "/Manifest.plist"));
    QVERIFY(QDir().mkpath(bad + "/Manifest.plist"));
    ModalWatcher watcher;
    LoadItunesBackupDlg dlg;
    QCOMPARE(listedPaths(dlg), QStringList{good});
    QCOMPARE(watcher.shown().size(), 1);
    QVERIFY2(watcher.shown().first().text.contains("load " + bad + " error. "), qPrintable(watcher.shown().first().text));
}

// A folder without an index is listed through the link, at its date, and
// becomes the current row; a cancelled folder dialog changes nothing.
void TestLoadItunesBackupDlg::addOtherFolder()
{
    const QString listed = writeBackup(backupRoot() + "/listed", may(2));
    const QString other = writeBackup(m_home->file("elsewhere/other"), may(9), false);
    ModalWatcher watcher;
    LoadItunesBackupDlg dlg;
    chooseFolder(watcher, QString());
    clickAddOther(dlg);
    QCOMPARE(listedPaths(dlg), QStringList{listed});
    chooseFolder(watcher, other);
    clickAddOther(dlg);
    QCOMPARE(listedPaths(dlg), QStringList({other, listed}));
    QCOMPARE(listOf(dlg)->currentIndex().row(), 0);
    QVERIFY(watcher.shown().isEmpty());
}

void TestLoadItunesBackupDlg::addingAListedFolderIsRefused()
{
    const QString listed = writeBackup(backupRoot() + "/listed", may(2));
    ModalWatcher watcher;
    LoadItunesBackupDlg dlg;
    chooseFolder(watcher, listed);
    clickAddOther(dlg);
    QCOMPARE(listedPaths(dlg), QStringList{listed});
    QCOMPARE(watcher.shown().size(), 1);
    QCOMPARE(watcher.shown().first().text, QStringLiteral("This iTunes Backup has been listed on the left."));
}

void TestLoadItunesBackupDlg::loadNeedsARow()
{
    writeBackup(backupRoot() + "/listed", may(2));
    ModalWatcher watcher;
    LoadItunesBackupDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("btnLoad")), Qt::LeftButton);
    QVERIFY(dlg.isVisible());
    QVERIFY(!dlg.selectedBackup);
    QCOMPARE(watcher.shown().size(), 1);
    QCOMPARE(watcher.shown().first().text, QStringLiteral("Need to select an iTunes Backup to continue."));

    listOf(dlg)->setCurrentIndex(listOf(dlg)->model()->index(0, 0));
    QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("btnLoad")), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(dlg.selectedBackup);
}

void TestLoadItunesBackupDlg::doubleClickLoads()
{
    writeBackup(backupRoot() + "/newer", may(3));
    const QString older = writeBackup(backupRoot() + "/older", may(1));
    QSharedPointer<BackupManifest> chosen;
    {
        ModalWatcher watcher;
        LoadItunesBackupDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTreeView* list = listOf(dlg);
        const QRect row = list->visualRect(list->model()->index(1, 0));
        QVERIFY(row.isValid());
        // A double-click is a click followed by the double-click event.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.isVisible());
        chosen = dlg.selectedBackup;
    }
    // The chosen backup outlives the dialog.
    QVERIFY(chosen);
    QCOMPARE(chosen->dir.absolutePath(), older);
    QCOMPARE(chosen->displayName, QStringLiteral("Phone 1"));
}

// The phone before each backup's name is as large as the list's icons and
// stands inside its row, not cut at top and bottom.
void TestLoadItunesBackupDlg::rowIconFitsTheRow()
{
    writeBackup(backupRoot() + "/one", may(1));
    LoadItunesBackupDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTreeView* list = listOf(dlg);
    const QModelIndex first = list->model()->index(0, 0);
    const QSize icon = first.data(Qt::DecorationRole).value<QPixmap>().size();
    QCOMPARE(icon, list->iconSize());
    QVERIFY(list->visualRect(first).height() >= icon.height());
}

void TestLoadItunesBackupDlg::columnWidths_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<QList<int>>("sections");
    QTest::newRow("initial 600") << 600 << QList<int>{208, 130, 182};
    QTest::newRow("680") << 680 << QList<int>{240, 150, 210};
    QTest::newRow("odd 777") << 777 << QList<int>{278, 174, 243};
}

void TestLoadItunesBackupDlg::columnWidths()
{
    QFETCH(int, width);
    QFETCH(QList<int>, sections);
    LoadItunesBackupDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.resize(width, 400);
    QCoreApplication::processEvents();
    const QHeaderView* header = listOf(dlg)->header();
    QCOMPARE((QList<int>{header->sectionSize(0), header->sectionSize(1), header->sectionSize(2)}), sections);
}

QTEST_MAIN(TestLoadItunesBackupDlg)
#include "tst_loaditunesbackupdlg.moc"
