// The application as the README's run command starts it, with the demo
// phones of the simulated backend: both attach after start, the second while
// the first one's road is still running (the first notes box is left open
// until the second phone's road has begun, as a user who reads it would).
// The user answers the notes boxes and types the README's backup password
// into the password dialog; in the end each phone has its own device node
// with its conversations, and a selected conversation fills the message list.
// Then the messages of the iOS 12 phone are transferred to the iOS 7 phone.
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QtTest>


#include <memory>

#include "datahome.h"
#include "datasourceselform.h"
#include "modalwatcher.h"
#include "demoscenario.h"
#include "itemmodelmain.h"
#include "itemmodelsms.h"
#include "mainwindow.h"
#include "mytreeview.h"
#include "passcodedlg.h"
#include "simdevicescenario.h"
#include "smsbrowser.h"
#include "startup.h"
#include "ui_mainwindow.h"

namespace {

const QString kScenario = QStringLiteral(QS_DEMO_SCENARIO);
const QString kNotes = QStringLiteral("<p>Notes:</p>");
// How long the first notes box waits at most for the second phone's road.
const int kHoldMs = 10000;

QString readmeBackupPassword() { return demoscenario::readmeBackupPassword(QStringLiteral(QS_README)); }
QStringList scenarioDevices() { return demoscenario::deviceIds(kScenario); }

// The user at the screen: closes each message box (holding the first notes
// box as said above) and answers each password dialog once with the
// password. The texts of the boxes are kept.
class User : public QObject
{
public:
    explicit User(QString password) : m_password(std::move(password))
    {
        connect(&m_timer, &QTimer::timeout, this, &User::look);
        m_timer.start(5);
    }

    QStringList boxes;
    int passwordDialogs = 0;
    bool heldUntilSecondRoad = false;

private:
    void look()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal->property("answered").toBool())
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            const bool notes = box->text().startsWith(kNotes);
            if (notes && !m_firstNotes) {
                m_firstNotes = box;
                m_held.start();
            }
            if (box == m_firstNotes && m_held.isValid() && m_held.elapsed() < kHoldMs)
                return;
            if (notes && box != m_firstNotes && m_firstNotes)
                heldUntilSecondRoad = true;
            if (box == m_firstNotes || heldUntilSecondRoad)
                m_held.invalidate();
            box->setProperty("answered", true);
            boxes << box->text();
            QTimer::singleShot(0, box, [box] { QTest::keyClick(box, Qt::Key_Escape); });
        } else if (auto* dialog = qobject_cast<PasscodeDlg*>(modal)) {
            dialog->setProperty("answered", true);
            ++passwordDialogs;
            dialog->findChild<QLineEdit*>(QStringLiteral("txtPasscode"))->setText(m_password);
            auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("btnOK"));
            QTimer::singleShot(0, ok, [ok] { QTest::mouseClick(ok, Qt::LeftButton); });
        }
    }

    QString m_password;
    QTimer m_timer;
    QPointer<QMessageBox> m_firstNotes;
    QElapsedTimer m_held;
};

_IOSDeviceItemNode* deviceNode(MainWindow& w, const QString& udid)
{
    for (AbsTreeItemModel::_ItemNode* child : w.sourceModel()->rootDevice->childs) {
        auto* node = static_cast<_IOSDeviceItemNode*>(child);
        if (child->type == ITEMNODE_IOS_DEVICE && node->device.udid == udid)
            return node;
    }
    return nullptr;
}

} // namespace

class TestDemoApp : public QObject
{
    Q_OBJECT

    // The transfer from the iOS 12 phone to the iOS 7 phone, as a user does
    // it in the demo: the iOS 7 phone is backed up, the messages are built
    // into its backup, and the backup is restored to it.
    static void transferFromIos12ToIos7(MainWindow& w, const _IOSDeviceItemNode* target,
                                        const _IOSDeviceItemNode* source)
    {
        w.form()->treeViewDS->setCurrentIndex(w.sourceModel()->indexOfItemNode(source));
        ModalWatcher transfer;
        QStringList offered;
        transfer.onDialog([&offered](QWidget* modal) {
            if (!qobject_cast<DataSourceSelForm*>(modal) || modal->property("answered").toBool())
                return false;
            modal->setProperty("answered", true);
            auto* combo = modal->findChild<QComboBox*>(QStringLiteral("cbDevice"));
            for (int i = 0; i < combo->count(); ++i)
                offered << combo->itemText(i);
            auto* ok = modal->findChild<QPushButton*>(QStringLiteral("btnOK"));
            QTimer::singleShot(0, ok, [ok] { QTest::mouseClick(ok, Qt::LeftButton); });
            return false;
        });
        transfer.answer(QMessageBox::Yes); // the notes before the restore
        QMetaObject::invokeMethod(&w, "miI2IAll");

        QCOMPARE(offered, QStringList{target->text});
        QStringList boxes;
        for (const ModalWatcher::ShownBox& box : transfer.shown())
            boxes << box.text;
        QCOMPARE(boxes.size(), 2);
        QVERIFY2(boxes.last().startsWith(QStringLiteral("Successfully recovered ")), qPrintable(boxes.join('\n')));
        QVERIFY(boxes.last().endsWith(QStringLiteral("SMS to iPhone. Now please disconnect your iPhone from computer.")));
    }

private slots:
    void demoPhonesShowTheirConversationsAndTransfer()
    {
        const QStringList udids = scenarioDevices();
        QCOMPARE(udids.size(), 2);
        const QString password = readmeBackupPassword();
        QVERIFY2(!password.isEmpty(), "the README states no backup password");
        DataHome home;
        qputenv("QUILLSPROUT_DEVICE_SIM", QFile::encodeName(kScenario));

        auto user = std::make_unique<User>(password);
        StartedApplication started = startApplication(*qApp);
        std::unique_ptr<MainWindow>& window = started.window;
        QVERIFY(window);
        // The log goes to the test's output rather than the temporary home.
        qInstallMessageHandler(nullptr);
        MainWindow& w = *window;

        const int phoneConversations[] = {12, 6};
        const auto shown = [&] {
            for (int i = 0; i < 2; ++i) {
                const _IOSDeviceItemNode* node = deviceNode(w, udids.at(i));
                if (!node || node->childs.size() != phoneConversations[i])
                    return false;
            }
            return true;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(shown(), qPrintable(user->boxes.join('\n')), 120000);

        QVERIFY(user->heldUntilSecondRoad);
        QCOMPARE(user->boxes.size(), 2);
        for (const QString& box : std::as_const(user->boxes))
            QVERIFY2(box.startsWith(kNotes), qPrintable(box));
        QCOMPARE(user->passwordDialogs, 1);
        QCOMPARE(w.sourceModel()->rootDevice->childs.size(), 2);

        const _IOSDeviceItemNode* older = deviceNode(w, udids.at(0));
        const _IOSDeviceItemNode* newer = deviceNode(w, udids.at(1));
        QCOMPARE(older->device.device, SimDeviceScenario::deviceRecord(udids.at(0)));
        QCOMPARE(newer->device.device, SimDeviceScenario::deviceRecord(udids.at(1)));
        QCOMPARE(older->device.versionList().value(0), 7);
        QCOMPARE(newer->device.versionList().value(0), 12);
        QCOMPARE(older->device.backupPassword, QString());
        QCOMPARE(newer->device.backupPassword, password);
        QCOMPARE(older->text, older->device.deviceName);
        QCOMPARE(newer->text, newer->device.deviceName);
        QVERIFY(older->text != newer->text);

        // A conversation of each phone fills the list and the browser.
        for (const _IOSDeviceItemNode* node : {older, newer}) {
            w.form()->treeViewDS->setCurrentIndex(w.sourceModel()->indexOfItemNode(node->childs.first()));
            QTRY_VERIFY_WITH_TIMEOUT(w.messageModel()->rowCount() > 0, 30000);
            QCOMPARE(w.form()->txtSMS->messages(), w.messageModel()->messages());
        }

        // The phones stay attached for the rest of the run, so the transfer
        // runs here, with the user of the attach roads gone.
        user.reset();
        transferFromIos12ToIos7(w, older, newer);
        window.reset();
    }
};

QTEST_MAIN(TestDemoApp)
#include "tst_demoapp.moc"
