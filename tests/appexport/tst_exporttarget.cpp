// The file or folder an export writes, from the name and type chosen in the
// save dialog.
#include "exporttarget.h"

#include <QtTest>

class TestExportTarget : public QObject
{
    Q_OBJECT

private slots:
    void fromChoice_data();
    void fromChoice();
    void unknownType();
};

void TestExportTarget::fromChoice_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("path");
    QTest::newRow("text, no suffix") << "/h/sms" << 0 << int(ExportFormat::Text) << "/h/sms.txt";
    QTest::newRow("doc, no suffix") << "/h/sms" << 1 << int(ExportFormat::Text) << "/h/sms.doc";
    QTest::newRow("CSV, no suffix") << "/h/sms" << 2 << int(ExportFormat::Csv) << "/h/sms.csv";
    QTest::newRow("CSV type keeps .txt") << "/h/sms.txt" << 2 << int(ExportFormat::Csv) << "/h/sms.txt";
    QTest::newRow("text type keeps .csv") << "/h/sms.csv" << 0 << int(ExportFormat::Text) << "/h/sms.csv";
    QTest::newRow("PDF, several dots") << "/h/sms(1).a.b.pdf" << 3 << int(ExportFormat::Pdf) << "/h/sms(1)-pdf";
    QTest::newRow("HTML, no dot") << "/h/sms(20231114-221320)" << 4 << int(ExportFormat::Html)
                                  << "/h/sms(20231114-221320)-html";
    QTest::newRow("HTML, dotted folder") << "/h/my.folder/sms.html" << 4 << int(ExportFormat::Html)
                                         << "/h/my.folder/sms-html";
}

void TestExportTarget::fromChoice()
{
    QFETCH(QString, chosen);
    QFETCH(int, type);
    QFETCH(int, format);
    QFETCH(QString, path);
    const ExportTarget target = ExportTarget::fromChoice(chosen, type);
    QCOMPARE(int(target.format), format);
    QCOMPARE(target.path, path);
}

void TestExportTarget::unknownType()
{
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, ExportTarget::fromChoice("/h/sms", -1));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, ExportTarget::fromChoice("/h/sms", 5));
}

QTEST_GUILESS_MAIN(TestExportTarget)
#include "tst_exporttarget.moc"
