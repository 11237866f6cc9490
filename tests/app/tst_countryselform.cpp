// The country chooser over the country table of a temporary data folder:
// order and texts of the rows, the keyword filter, the confirmation, the
// refusal to close without a choice, a table that cannot be read, and the
// code cache file.
#include "countryselform.h"
#include "data_path_util.h"
#include "datahome.h"
#include "modalwatcher.h"
#include "translation.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

QListWidget* list(CountrySelForm& form) { return form.findChild<QListWidget*>("ltCountries"); }
QLineEdit* keyword(CountrySelForm& form) { return form.findChild<QLineEdit*>("txtKW"); }
void pressOk(CountrySelForm& form) { emit form.findChild<QPushButton*>("btnOK")->pressed(); }

QStringList rowTexts(CountrySelForm& form)
{
    QStringList texts;
    for (int i = 0; i < list(form)->count(); ++i)
        texts.append(list(form)->item(i)->text());
    return texts;
}

int rowOf(CountrySelForm& form, const QString& text)
{
    const QList<QListWidgetItem*> found = list(form)->findItems(text, Qt::MatchExactly);
    return found.size() == 1 ? list(form)->row(found.first()) : -1;
}

} // namespace

class TestCountrySelForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void rows();
    void keywordFilter_data();
    void keywordFilter();
    void confirmNoThenYes();
    void okWithoutRowWarns();
    void escapeDoesNotClose();
    void unreadableTableGivesEmptyList();
    void cache();

private:
    std::unique_ptr<DataHome> m_home;
};

void TestCountrySelForm::initTestCase()
{
    QVERIFY(installEnglishTranslation(qApp));
}

void TestCountrySelForm::init()
{
    m_home = std::make_unique<DataHome>();
}

void TestCountrySelForm::cleanup()
{
    m_home.reset();
}

void TestCountrySelForm::rows()
{
    CountrySelForm form(nullptr);
    QCOMPARE(form.objectName(), QString("CountrySelForm"));
    QCOMPARE(form.size(), QSize(326, 398));
    QCOMPARE(form.windowFlags(), Qt::Dialog | Qt::FramelessWindowHint);
    QCOMPARE(form.findChild<QLabel*>("lbTitle")->text(), QString("Select your country code:"));

    const QStringList texts = rowTexts(form);
    QVERIFY(texts.size() > 100);
    // SQLite's default order compares the encoded bytes: a name that begins
    // outside ASCII comes after Z.
    for (int i = 1; i < texts.size(); ++i)
        QVERIFY2(texts.at(i - 1).toUtf8() <= texts.at(i).toUtf8(), qPrintable(texts.at(i)));
    QVERIFY(rowOf(form, "Åland Islands (+358)") > rowOf(form, "Zimbabwe (+263)"));
    // The first of several codes, and a borrowed code as stored.
    QCOMPARE(list(form)->item(rowOf(form, "United Kingdom (+44)"))->data(Qt::UserRole).toString(), QString("234"));
    QCOMPARE(list(form)->item(rowOf(form, "India (+91)"))->data(Qt::UserRole).toString(), QString("404"));
    QCOMPARE(list(form)->currentRow(), -1);
}

void TestCountrySelForm::keywordFilter_data()
{
    QTest::addColumn<QString>("kw");
    QTest::addColumn<QString>("sameAs"); // another keyword that lists the same rows
    QTest::newRow("case") << "UNITED" << "united";
    QTest::newRow("inside a name") << "land" << "LAND";
    QTest::newRow("calling code") << "(+4" << "(+4";
    QTest::newRow("nothing") << "no such country" << "NO SUCH COUNTRY";
}

void TestCountrySelForm::keywordFilter()
{
    QFETCH(QString, kw);
    QFETCH(QString, sameAs);
    CountrySelForm form(nullptr);
    const QStringList all = rowTexts(form);
    list(form)->setCurrentRow(0);
    keyword(form)->setText(kw);
    const QStringList filtered = rowTexts(form);
    QCOMPARE(list(form)->currentRow(), -1);
    QStringList expected;
    for (const QString& text : all)
        if (text.contains(kw, Qt::CaseInsensitive))
            expected.append(text);
    QCOMPARE(filtered, expected);
    keyword(form)->setText(sameAs);
    QCOMPARE(rowTexts(form), filtered);
    keyword(form)->clear();
    QCOMPARE(rowTexts(form), all);
}

void TestCountrySelForm::confirmNoThenYes()
{
    CountrySelForm form(nullptr);
    form.show();
    list(form)->setCurrentRow(rowOf(form, "United Kingdom (+44)"));
    ModalWatcher watcher;
    watcher.answer(QMessageBox::No);
    pressOk(form);
    QVERIFY(form.isVisible());
    QVERIFY(form.selectedMmc.isEmpty());
    QCOMPARE(watcher.shown().size(), 1);
    QCOMPARE(watcher.shown().first().text, QString("Confirm to select United Kingdom (+44)?"));
    QCOMPARE(watcher.shown().first().icon, QMessageBox::Question);

    watcher.answer(QMessageBox::Yes);
    pressOk(form);
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QVERIFY(!form.isVisible());
    QCOMPARE(form.selectedMmc, QString("234"));
}

void TestCountrySelForm::okWithoutRowWarns()
{
    CountrySelForm form(nullptr);
    form.show();
    keyword(form)->setText("a");
    ModalWatcher watcher;
    pressOk(form);
    QVERIFY(form.isVisible());
    QCOMPARE(watcher.shown().size(), 1);
    QCOMPARE(watcher.shown().first().text, QString("Please select a cuntry code first to continue."));
    QCOMPARE(watcher.shown().first().icon, QMessageBox::Warning);
}

void TestCountrySelForm::escapeDoesNotClose()
{
    CountrySelForm form(nullptr);
    form.show();
    QTest::keyClick(&form, Qt::Key_Escape);
    QVERIFY(form.isVisible());
    form.close();
    QVERIFY(form.isVisible());
    form.hide();
}

void TestCountrySelForm::unreadableTableGivesEmptyList()
{
    // A folder where the table is expected cannot be opened as a database.
    QVERIFY(g_dataSaveDir().mkpath("countries.db/x"));
    ModalWatcher watcher;
    CountrySelForm form(nullptr);
    QCOMPARE(list(form)->count(), 0);
    QCOMPARE(watcher.shown().size(), 1);
    QCOMPARE(watcher.shown().first().icon, QMessageBox::Critical);
    keyword(form)->setText("a");
    QCOMPARE(list(form)->count(), 0);
}

void TestCountrySelForm::cache()
{
    const QDir dir(m_home->path());
    QCOMPARE(CountrySelForm::MMCCache(dir, "phone"), QString());
    CountrySelForm::cacheMMC("3101", dir, "phone");
    QCOMPARE(CountrySelForm::MMCCache(dir, "phone"), QString("3101"));
    CountrySelForm::cacheMMC("234", dir, "phone");
    QCOMPARE(CountrySelForm::MMCCache(dir, "phone"), QString("234"));
    QFile raw(dir.filePath("phone.mmc"));
    QCOMPARE(raw.size(), 3);

    QVERIFY(raw.open(QIODevice::WriteOnly));
    raw.write(QByteArray("310\0garbage", 11));
    raw.close();
    QCOMPARE(CountrySelForm::MMCCache(dir, "phone"), QString("310"));

    // A folder that does not exist: nothing written, nothing reported.
    const QDir missing(dir.filePath("missing"));
    CountrySelForm::cacheMMC("234", missing, "phone");
    QVERIFY(!missing.exists());
    QCOMPARE(CountrySelForm::MMCCache(missing, "phone"), QString());
}

QTEST_MAIN(TestCountrySelForm)
#include "tst_countryselform.moc"
