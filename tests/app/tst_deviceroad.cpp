// The device road on its own, without the main window: a model, a widget
// that parents its dialogs, and attach and detach reports handed to it
// directly for a phone of the simulated backend that sends its databases
// over file_relay. What the road tells through its signals is what the
// window relies on: a listed node once its conversations are read, and a
// node going only once no operation runs, announced before it leaves the
// model.
#include <QMessageBox>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include "conversationfixture.h"
#include "cpiofixture.h"
#include "data_path_util.h"
#include "deviceroad.h"
#include "devicewarningbox.h"
#include "itemmodelmain.h"
#include "mobiledevice_loader.h"
#include "modalwatcher.h"
#include "progressform.h"
#include "simdevicescenario.h"
#include "smsdbfixture.h"
#include "temphome.h"
#include "translation.h"

using Node = AbsTreeItemModel::_ItemNode;

Q_DECLARE_METATYPE(const Node*)

namespace {

const char* const kFileRelay = "com.apple.mobile.file_relay";

int g_serial = 0;

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What the phone's file_relay service sends: an iOS 6+ sms.db with Ann (3
// messages) and Bob (2).
QByteArray relayArchive(const QString& scratch)
{
    const QString dir = scratch + QStringLiteral("/sms-%1").arg(++g_serial);
    ConversationFixture::create(dir, {{QStringLiteral("Ann"), 3}, {QStringLiteral("Bob"), 2}});
    const QByteArray sms = readFile(SmsDbFixture::smsDbPath(dir));
    using namespace CpioFixture;
    return cpio({folder("./"), folder("./var"), folder("./var/mobile"), folder("./var/mobile/Library"),
                 folder("./var/mobile/Library/SMS"), file("./var/mobile/Library/SMS/sms.db", sms),
                 folder("./var/mobile/Library/AddressBook")});
}

// Runs `action` once, when the notes box that opens every attach is shown:
// inside the road, however fast its steps are.
class OnNotesBox : public QObject
{
public:
    explicit OnNotesBox(std::function<void()> action) : m_action(std::move(action)) { qApp->installEventFilter(this); }
    ~OnNotesBox() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* box = event->type() == QEvent::Show ? qobject_cast<QMessageBox*>(object) : nullptr;
        if (box && box->text().startsWith(QLatin1String("<p>Notes:</p>")) && m_action)
            std::exchange(m_action, {})();
        return false;
    }

private:
    std::function<void()> m_action;
};

} // namespace

class TestDeviceRoad : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempHome> home;
    std::unique_ptr<SimDeviceScenario> scenario;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<ItemModelMain> model;
    DeviceRoad* road = nullptr;

    // A phone of iOS 7 whose databases come over file_relay; its record.
    void* addPhone()
    {
        const QString udid = QStringLiteral("road-phone-%1").arg(++g_serial);
        scenario->text(udid, QString(), "UniqueDeviceID", udid);
        scenario->text(udid, QString(), "DeviceName", "Phone " + udid);
        scenario->text(udid, QString(), "ProductType", "iPhone5,1");
        scenario->text(udid, QString(), "ProductVersion", "7.1.2");
        scenario->service(udid, kFileRelay, "file_relay");
        const QByteArray archive = relayArchive(home->file("scratch"));
        plist_t services = plist_dict_get_item(scenario->device(udid), "Services");
        plist_dict_set_item(plist_dict_get_item(services, kFileRelay), "Archive",
                            plist_new_data(archive.constData(), uint64_t(archive.size())));
        scenario->manualEvents(true);
        if (!scenario->load())
            return nullptr;
        return SimDeviceScenario::deviceRecord(udid);
    }

    QList<Node*> deviceNodes() const { return model->rootDevice->childs; }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<const Node*>();
        QVERIFY(installEnglishTranslation(QCoreApplication::instance()));
        g_installDeviceWarningBoxes();
        SimDeviceScenario::useSimulatedBackend();
        QString error;
        QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
    }

    void init()
    {
        home = std::make_unique<TempHome>();
        g_resetDataSaveDirForTests();
        scenario = std::make_unique<SimDeviceScenario>();
        window = std::make_unique<QWidget>();
        model = std::make_unique<ItemModelMain>();
        road = new DeviceRoad(*model, window.get());
    }

    void cleanup()
    {
        window.reset();
        model.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        scenario.reset();
        home.reset();
        g_resetDataSaveDirForTests();
    }

    // The node is listed once, with the phone's conversations read, and
    // handed on through the signal; a detach with no operation running
    // announces the node while it is still in the model, then removes it.
    void attachListsAndDetachRemoves()
    {
        void* phone = addPhone();
        QVERIFY(phone);
        QSignalSpy listed(road, &DeviceRoad::deviceListed);
        {
            ModalWatcher watcher;
            road->attach(phone);
        }
        QCOMPARE(listed.count(), 1);
        QCOMPARE(deviceNodes().size(), 1);
        auto* node = static_cast<_IOSDeviceItemNode*>(deviceNodes().first());
        QCOMPARE(listed.first().first().value<const Node*>(), node);
        QCOMPARE(node->device.device, phone);
        QCOMPARE(node->childs.size(), 2);

        bool inModelWhenAnnounced = false;
        connect(road, &DeviceRoad::nodeGoing, this,
                [&](const Node* going) { inModelWhenAnnounced = deviceNodes().contains(const_cast<Node*>(going)); });
        QSignalSpy going(road, &DeviceRoad::nodeGoing);
        road->detach(phone);
        QCOMPARE(going.count(), 1);
        QCOMPARE(going.first().first().value<const Node*>(), node);
        QVERIFY(inModelWhenAnnounced);
        QVERIFY(deviceNodes().isEmpty());
    }

    // A detach of the phone being attached stops the road: no node, nothing
    // listed, nothing announced.
    void detachDuringAttachStopsRoad()
    {
        void* phone = addPhone();
        QVERIFY(phone);
        QSignalSpy listed(road, &DeviceRoad::deviceListed);
        QSignalSpy going(road, &DeviceRoad::nodeGoing);
        {
            ModalWatcher watcher;
            OnNotesBox detach([&] { road->detach(phone); });
            road->attach(phone);
        }
        QCOMPARE(listed.count(), 0);
        QCOMPARE(going.count(), 0);
        QVERIFY(deviceNodes().isEmpty());
    }

    // While a progress dialog of an operation exists, the node stays; it
    // goes once the dialog has gone. A detach of a handle without a node and
    // a null handle (a saved device) change nothing.
    void detachWaitsForRunningOperation()
    {
        void* phone = addPhone();
        QVERIFY(phone);
        {
            ModalWatcher watcher;
            road->attach(phone);
        }
        QCOMPARE(deviceNodes().size(), 1);
        QSignalSpy going(road, &DeviceRoad::nodeGoing);
        road->detach(nullptr);
        QCOMPARE(going.count(), 0);

        auto* operation = new ProgressForm(QString(), window.get());
        road->detach(phone);
        QCoreApplication::processEvents();
        QCOMPARE(going.count(), 0);
        QCOMPARE(deviceNodes().size(), 1);

        delete operation;
        QVERIFY(going.wait());
        QVERIFY(deviceNodes().isEmpty());
    }
};

QTEST_MAIN(TestDeviceRoad)
#include "tst_deviceroad.moc"
