// Every window says what it is for: the frameless dialogs still carry a
// title for the window list and the task bar, never Qt Designer's "Dialog".
#include "aboutusform.h"
#include "datasourceselform.h"
#include "loaditunesbackupdlg.h"
#include "mobiledevice_loader.h"
#include "passcodedlg.h"
#include "temphome.h"
#include "translation.h"

#include <QtTest>

#include <functional>
#include <memory>

using MakeDialog = std::function<QDialog*()>;
Q_DECLARE_METATYPE(MakeDialog)

class TestWindowTitles : public QObject
{
    Q_OBJECT
    TempHome m_home;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
        QVERIFY(installEnglishTranslation(qApp));
    }

    void titles_data()
    {
        QTest::addColumn<MakeDialog>("make");
        QTest::addColumn<QString>("title");
        QTest::newRow("about") << MakeDialog([] { return new AboutUsForm(nullptr); }) << "About";
        QTest::newRow("password") << MakeDialog([] { return new PasscodeDlg(nullptr, nullptr); })
                                  << "iTunes Backup Password";
        QTest::newRow("backup chooser") << MakeDialog([] { return new LoadItunesBackupDlg(nullptr); })
                                        << "Load iTunes Backup";
        QTest::newRow("iPhone chooser") << MakeDialog([] { return new DataSourceSelForm(nullptr); }) << "Select iPhone";
    }
    void titles()
    {
        QFETCH(MakeDialog, make);
        QFETCH(QString, title);
        const std::unique_ptr<QDialog> dialog(make());
        QCOMPARE(dialog->windowTitle(), title);
    }
};

QTEST_MAIN(TestWindowTitles)
#include "tst_windowtitles.moc"
