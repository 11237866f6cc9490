// The main window's export and print commands over a temporary HOME: the
// messages each command takes, the save dialog and its file types, the
// export behind its progress dialog, and the print preview.
#include <QAction>
#include <QFileDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QtTest>

#include <memory>

#include "conversationfixture.h"
#include "data_path_util.h"
#include "itemmodelmain.h"
#include "itemmodelsms.h"
#include "mainwindow.h"
#include "modalwatcher.h"
#include "mytreeview.h"
#include "temphome.h"
#include "translation.h"
#include "ui_mainwindow.h"

using Node = AbsTreeItemModel::_ItemNode;

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// What the save dialog showed, and the answer given to it.
struct SaveDialog
{
    QString caption;
    QString suggested;
    QStringList filters;
    bool shown = false;
};

// Answers the save dialog with `file` and the file type `filter`, or
// cancels it when `file` is empty; then closes every box that follows.
void answerSave(ModalWatcher& watcher, SaveDialog& seen, const QString& file, const QString& filter)
{
    watcher.onDialog([&seen, file, filter](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog)
            return false;
        seen.shown = true;
        seen.caption = dialog->windowTitle();
        seen.suggested = dialog->selectedFiles().value(0);
        seen.filters = dialog->nameFilters();
        if (file.isEmpty()) {
            dialog->reject();
            return true;
        }
        dialog->selectNameFilter(filter);
        dialog->selectFile(file);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        return true;
    });
}

} // namespace

class TestMainWindowExport : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempHome> home;

    void makeLocalDb(const QString& name, const QList<ConversationFixture::Chat>& chats)
    {
        ConversationFixture::create(g_dataSaveDir().absoluteFilePath(QStringLiteral("local_databases/") + name), chats);
    }

    static void select(MainWindow& w, const Node* node)
    {
        w.form()->treeViewDS->setCurrentIndex(w.sourceModel()->indexOfItemNode(node));
    }

    static const Node* localDb(MainWindow& w) { return w.sourceModel()->rootLocalDb->childs.at(0); }

    static QAction* actionNamed(MainWindow& w, const QString& text)
    {
        for (QAction* a : w.findChildren<QAction*>())
            if (a->text() == text)
                return a;
        return nullptr;
    }

private slots:
    void initTestCase() { QVERIFY(installEnglishTranslation(QCoreApplication::instance())); }

    void init()
    {
        home = std::make_unique<TempHome>();
        g_resetDataSaveDirForTests();
        makeLocalDb(QStringLiteral("db"), {{QStringLiteral("Ann"), 4}, {QStringLiteral("Bob"), 2}});
    }

    void cleanup()
    {
        home.reset();
        g_resetDataSaveDirForTests();
    }

    // From the File menu with two rows selected: those two, into the file
    // chosen, with the type's extension added.
    void exportTakesSelectedRows()
    {
        MainWindow w;
        select(w, localDb(w));
        QItemSelectionModel* selection = w.form()->treeViewSMS->selectionModel();
        selection->select(w.messageModel()->indexOfPos(0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->select(w.messageModel()->indexOfPos(2), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        ModalWatcher watcher;
        SaveDialog seen;
        answerSave(watcher, seen, home->file("out"), QStringLiteral("CSV Files(*.csv)"));
        QAction* exportAction = actionNamed(w, QStringLiteral("Export SMS to File"));
        QVERIFY(exportAction && exportAction->isEnabled());
        exportAction->trigger();

        QVERIFY(seen.shown);
        QCOMPARE(seen.caption, QStringLiteral("Please select Save Path for SMS."));
        QVERIFY2(QFileInfo(seen.suggested).fileName().startsWith("sms(") && QFileInfo(seen.suggested).path() == home->path(),
                 qPrintable(seen.suggested));
        QCOMPARE(seen.filters, QStringList({"Text Files(*.txt)", "Doc Files(*.doc)", "CSV Files(*.csv)",
                                            "PDF Files(*.pdf)", "HTML Files(*.html)"}));
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().text, QStringLiteral("Successfully exported 2 SMS."));
        const QList<QByteArray> lines = readFile(home->file("out.csv")).split('\n');
        QCOMPARE(lines.size(), 4); // header, two records, the empty rest
        QVERIFY(lines[1].endsWith(w.messageModel()->messages().at(0)->text.toUtf8()));
        QVERIFY(lines[2].endsWith(w.messageModel()->messages().at(2)->text.toUtf8()));
    }

    // A conversation current and nothing selected: the messages listed, one
    // file per conversation in the folder named after the base name.
    void exportTakesListedConversation()
    {
        MainWindow w;
        select(w, localDb(w)); // lists its conversations
        QVERIFY(!localDb(w)->childs.isEmpty());
        select(w, localDb(w)->childs.at(0));
        const int listed = int(w.messageModel()->messages().size());
        ModalWatcher watcher;
        SaveDialog seen;
        answerSave(watcher, seen, home->file("chat.v1.html"), QStringLiteral("HTML Files(*.html)"));
        QMetaObject::invokeMethod(&w, "miExport");
        QCOMPARE(watcher.shown().value(0).text, QStringLiteral("Successfully exported %1 SMS.").arg(listed));
        const QStringList pages = QDir(home->file("chat-html")).entryList({"*.html"}, QDir::Files);
        QCOMPARE(pages.size(), 1);
    }

    void cancelledDialogDoesNothing()
    {
        MainWindow w;
        select(w, localDb(w));
        ModalWatcher watcher;
        SaveDialog seen;
        answerSave(watcher, seen, QString(), QString());
        QMetaObject::invokeMethod(&w, "miExport");
        QVERIFY(seen.shown);
        QCOMPARE(watcher.shown().size(), 0);
        QCOMPARE(QDir(home->path()).entryList(QDir::Files), QStringList());
    }

    void nothingWithoutCurrentNode()
    {
        MainWindow w;
        ModalWatcher watcher;
        SaveDialog seen;
        answerSave(watcher, seen, home->file("out"), QStringLiteral("CSV Files(*.csv)"));
        QMetaObject::invokeMethod(&w, "miExport");
        QMetaObject::invokeMethod(&w, "miPrint");
        QVERIFY(!seen.shown);
        QCOMPARE(watcher.shown().size(), 0);
    }

    // All messages of the current database go to the preview.
    void printShowsPreview()
    {
        MainWindow w;
        select(w, localDb(w));
        ModalWatcher watcher;
        QString title;
        int pages = 0;
        watcher.onDialog([&](QWidget* modal) {
            auto* dialog = qobject_cast<QPrintPreviewDialog*>(modal);
            auto* view = dialog ? dialog->findChild<QPrintPreviewWidget*>() : nullptr;
            if (!view || view->pageCount() < 1)
                return false;
            title = dialog->windowTitle();
            pages = view->pageCount();
            dialog->reject();
            return true;
        });
        QAction* printAction = actionNamed(w, QStringLiteral("Print SMS"));
        QVERIFY(printAction && printAction->isEnabled());
        printAction->trigger();
        QCOMPARE(title, QStringLiteral("Print SMS"));
        QCOMPARE(pages, 1);
    }
};

QTEST_MAIN(TestMainWindowExport)
#include "tst_mainwindow_export.moc"
