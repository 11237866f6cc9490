// The local database chooser: the list and the suggestion, names accepted as
// typed, and the refusals, which keep the dialog open.
#include "localdbselform.h"
#include "modalwatcher.h"
#include "translation.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <functional>

namespace {

const QString kEmptyWarning = "Select one Database or enter a new Database name";
const QString kInvalidWarning = "Invalid Local Database name(can't contain \\ / : * ? \" < > |).";

QComboBox* combo(LocalDbSelForm& form) { return form.findChild<QComboBox*>("cbLocalDbNames"); }
void press(LocalDbSelForm& form, const char* button) { emit form.findChild<QPushButton*>(button)->pressed(); }

QString runChooser(const QStringList& names, const QString& current, const std::function<void(LocalDbSelForm&)>& drive)
{
    LocalDbSelForm form(names, current, nullptr);
    QTimer::singleShot(0, &form, [&form, &drive] { drive(form); });
    return form.execGetDbName();
}

} // namespace

class TestLocalDbSelForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void form();
    void listAndSuggestion();
    void typedName_data();
    void typedName();
    void existingNameFromList();
    void cancelAfterRefusal();
};

void TestLocalDbSelForm::initTestCase()
{
    QVERIFY(installEnglishTranslation(qApp));
}

void TestLocalDbSelForm::form()
{
    LocalDbSelForm form({}, QString(), nullptr);
    QCOMPARE(form.objectName(), QString("LocalDbSelForm"));
    QCOMPARE(form.minimumSize(), QSize(423, 156));
    QCOMPARE(form.maximumSize(), QSize(423, 156));
    QCOMPARE(form.size(), QSize(423, 156));
    QCOMPARE(form.findChild<QWidget*>("layoutWidget")->geometry(), QRect(100, 120, 211, 25));
    QCOMPARE(form.windowFlags(), Qt::Dialog | Qt::FramelessWindowHint);
    QVERIFY(!form.styleSheet().isEmpty());
    QCOMPARE(form.windowTitle(), QString("Select one Database for backup"));
    QCOMPARE(form.findChild<QLabel*>("label")->text(),
             QString("Select current database to merge or enter a new database name:"));
    QCOMPARE(form.findChild<QPushButton*>("btnOK")->text(), QString("Confirm"));
    QCOMPARE(form.findChild<QPushButton*>("btnClose")->text(), QString("Cancel"));
    QCOMPARE(combo(form)->geometry(), QRect(10, 40, 401, 22));
    QVERIFY(combo(form)->isEditable());
}

void TestLocalDbSelForm::listAndSuggestion()
{
    LocalDbSelForm none({}, "iPhone_Backup", nullptr);
    QCOMPARE(combo(none)->count(), 1);
    QCOMPARE(combo(none)->itemText(0), QString());
    QCOMPARE(combo(none)->currentText(), QString("iPhone_Backup"));

    LocalDbSelForm two({"alpha", "beta"}, QString(), nullptr);
    QCOMPARE(combo(two)->count(), 3);
    QCOMPARE(combo(two)->itemText(2), QString("beta"));
    QCOMPARE(combo(two)->currentIndex(), -1);
    QVERIFY(combo(two)->currentText().isEmpty());
}

void TestLocalDbSelForm::typedName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("warning"); // empty: accepted as typed
    QTest::newRow("plain") << "My Phone_Backup" << QString();
    QTest::newRow("spaces at both ends kept") << "  spaced  " << QString();
    QTest::newRow("dot inside") << "v1.2" << QString();
    QTest::newRow("not Latin") << "备份" << QString();
    QTest::newRow("empty") << "" << kEmptyWarning;
    QTest::newRow("spaces only") << "   " << kEmptyWarning;
    QTest::newRow("colon") << "a:b" << kInvalidWarning;
    QTest::newRow("tab") << "a\tb" << kInvalidWarning;
    QTest::newRow("ends in question mark") << "name?" << kInvalidWarning;
    QTest::newRow("slash") << "a/b" << kInvalidWarning;
    QTest::newRow("backslash") << "a\\b" << kInvalidWarning;
    QTest::newRow("line feed") << "a\nb" << kInvalidWarning;
    // Would name the databases' own folder or the data folder.
    QTest::newRow("dot") << "." << kInvalidWarning;
    QTest::newRow("dot dot") << ".." << kInvalidWarning;
    QTest::newRow("hidden") << ".hidden" << kInvalidWarning;
}

void TestLocalDbSelForm::typedName()
{
    QFETCH(QString, name);
    QFETCH(QString, warning);
    QCOMPARE(LocalDbSelForm::nameError(name), warning);
    ModalWatcher watcher;
    bool openAfterPress = false;
    QString textAfterPress;
    const QString result = runChooser({"existing"}, QString(), [&](LocalDbSelForm& form) {
        combo(form)->setEditText(name);
        press(form, "btnOK");
        openAfterPress = form.isVisible();
        textAfterPress = combo(form)->currentText();
        if (openAfterPress)
            press(form, "btnClose");
    });
    if (warning.isEmpty()) {
        QCOMPARE(result, name);
        QVERIFY(watcher.shown().isEmpty());
    } else {
        QVERIFY(result.isEmpty());
        QVERIFY(openAfterPress);
        QCOMPARE(textAfterPress, name);
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().text, warning);
        QCOMPARE(watcher.shown().first().icon, QMessageBox::Warning);
    }
}

void TestLocalDbSelForm::existingNameFromList()
{
    const QString result = runChooser({"alpha", "beta"}, "suggested", [](LocalDbSelForm& form) {
        combo(form)->setCurrentIndex(2);
        press(form, "btnOK");
    });
    QCOMPARE(result, QString("beta"));
}

void TestLocalDbSelForm::cancelAfterRefusal()
{
    ModalWatcher watcher;
    const QString result = runChooser({}, QString(), [](LocalDbSelForm& form) {
        combo(form)->setEditText("good");
        combo(form)->setEditText("a|b");
        press(form, "btnOK");
        QTest::keyClick(&form, Qt::Key_Escape);
    });
    QVERIFY(result.isEmpty());
    QCOMPARE(watcher.shown().size(), 1);
}

QTEST_MAIN(TestLocalDbSelForm)
#include "tst_localdbselform.moc"
