// The chooser of one item: preselection, the warning without a choice, the
// id of the confirmed choice, and cancel.
#include "datasourceselform.h"
#include "modalwatcher.h"
#include "translation.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <functional>

namespace {

QList<DataSourceSelForm::_SelItem> choices(int count)
{
    QList<DataSourceSelForm::_SelItem> items;
    for (int i = 0; i < count; ++i)
        items.append({":res/iphone.png", QString("Phone %1").arg(i), QString("udid-%1").arg(i)});
    return items;
}

// Runs execSel on `count` choices while `drive` works the open dialog.
QString runPicker(int count, const std::function<void(DataSourceSelForm&)>& drive)
{
    DataSourceSelForm form(nullptr);
    QTimer::singleShot(0, &form, [&form, &drive] { drive(form); });
    return form.execSel("Please select an iPhone:", choices(count));
}

QComboBox* combo(DataSourceSelForm& form) { return form.findChild<QComboBox*>("cbDevice"); }
void press(DataSourceSelForm& form, const char* button) { emit form.findChild<QPushButton*>(button)->pressed(); }

} // namespace

class TestDataSourceSelForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void form();
    void choose_data();
    void choose();
    void cancelReturnsNothing_data();
    void cancelReturnsNothing();
};

void TestDataSourceSelForm::initTestCase()
{
    QVERIFY(installEnglishTranslation(qApp));
}

void TestDataSourceSelForm::form()
{
    DataSourceSelForm form(nullptr);
    QCOMPARE(form.objectName(), QString("DataSourceSelForm"));
    QCOMPARE(form.minimumSize(), QSize(421, 152));
    QCOMPARE(form.maximumSize(), QSize(421, 152));
    QCOMPARE(form.size(), QSize(421, 152));
    QCOMPARE(form.findChild<QWidget*>("layoutWidget")->geometry(), QRect(100, 100, 211, 25));
    QCOMPARE(form.windowFlags(), Qt::Dialog | Qt::FramelessWindowHint);
    QCOMPARE(form.findChild<QLabel*>("lbSelDevice")->text(), QString("Please select a Device."));
    QCOMPARE(form.findChild<QPushButton*>("btnOK")->text(), QString("Confirm"));
    QCOMPARE(form.findChild<QPushButton*>("btnClose")->text(), QString("Cancel"));
    QCOMPARE(combo(form)->geometry(), QRect(10, 50, 401, 22));
    QVERIFY(!combo(form)->isEditable());
}

void TestDataSourceSelForm::choose_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("preselected");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QString>("id");
    QTest::newRow("one choice, taken at once") << 1 << 0 << 0 << "udid-0";
    QTest::newRow("two choices, second") << 2 << -1 << 1 << "udid-1";
    QTest::newRow("three choices, first") << 3 << -1 << 0 << "udid-0";
}

void TestDataSourceSelForm::choose()
{
    QFETCH(int, count);
    QFETCH(int, preselected);
    QFETCH(int, chosen);
    ModalWatcher watcher;
    int seenCurrent = -2;
    QString prompt;
    bool openAfterWarning = false;
    const QString id = runPicker(count, [&](DataSourceSelForm& form) {
        seenCurrent = combo(form)->currentIndex();
        prompt = form.findChild<QLabel*>("lbSelDevice")->text();
        if (seenCurrent < 0) {
            press(form, "btnOK");
            openAfterWarning = form.isVisible();
        }
        combo(form)->setCurrentIndex(chosen);
        press(form, "btnOK");
    });
    QTEST(id, "id");
    QCOMPARE(seenCurrent, preselected);
    QCOMPARE(prompt, QString("Please select an iPhone:"));
    if (preselected < 0) {
        QVERIFY(openAfterWarning);
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().text, QString("Need to select a Device to continue."));
    } else {
        QVERIFY(watcher.shown().isEmpty());
    }
}

void TestDataSourceSelForm::cancelReturnsNothing_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("escape");
    QTest::newRow("cancel after a choice") << 2 << false;
    QTest::newRow("escape after a choice") << 2 << true;
    QTest::newRow("empty list: OK warns, cancel ends") << 0 << false;
}

void TestDataSourceSelForm::cancelReturnsNothing()
{
    QFETCH(int, count);
    QFETCH(bool, escape);
    ModalWatcher watcher;
    const QString id = runPicker(count, [&](DataSourceSelForm& form) {
        if (count == 0)
            press(form, "btnOK");
        else
            combo(form)->setCurrentIndex(1);
        if (escape)
            QTest::keyClick(&form, Qt::Key_Escape);
        else
            press(form, "btnClose");
    });
    QVERIFY(id.isEmpty());
    QCOMPARE(watcher.shown().size(), count == 0 ? 1 : 0);
}

QTEST_MAIN(TestDataSourceSelForm)
#include "tst_datasourceselform.moc"
