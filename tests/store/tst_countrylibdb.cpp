// The country table and the canonical form of phone numbers.
#include <QtTest>
#include <memory>

#include "countrylibdb.h"
#include "data_path_util.h"
#include "sqlfixture.h"
#include "temphome.h"

namespace {
_CountryInfo row(const QString& sn, const QString& pnum, const QString& numc, const QString& r1)
{
    _CountryInfo info;
    info.sn = sn;
    info.pnum = pnum;
    info.numc = numc;
    info.r1 = "^" + r1 + "$";
    return info;
}
} // namespace

class TestCountryLibDb : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void formatNumber_data();
    void formatNumber();
    void lengthAndPattern();
    void lookups();
    void defaultCountryFromMcc();
    void tableRowsAsPublished();
    void existingFileIsKept();
    void copyFailureIsReported();
    void notACountryTable();

private:
    std::unique_ptr<TempHome> m_home;
    QString target() const { return g_dataSaveDir().absoluteFilePath("countries.db"); }
};

void TestCountryLibDb::init()
{
    m_home = std::make_unique<TempHome>();
    g_resetDataSaveDirForTests();
}

void TestCountryLibDb::cleanup()
{
    m_home.reset();
    g_resetDataSaveDirForTests();
}

void TestCountryLibDb::formatNumber_data()
{
    QTest::addColumn<QString>("sn");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::newRow("national") << "RU" << "916 123-45-67" << "+79161234567";
    QTest::newRow("with code") << "RU" << "7 916 123 45 67" << "+79161234567";
    QTest::newRow("plus") << "RU" << "+7 916 123 45 67" << "+79161234567";
    QTest::newRow("trunk 8 stays") << "RU" << "8 (916) 123-45-67" << "89161234567";
    QTest::newRow("name") << "RU" << "Info" << "info";
    QTest::newRow("letters keep punctuation") << "US" << "Bank-24" << "bank-24";
    QTest::newRow("mail") << "US" << "Ann@Example.ORG" << "ann@example.org";
    QTest::newRow("plus inside") << "US" << "12+34" << "12+34";
    QTest::newRow("us national") << "US" << "(212) 555-0123" << "+12125550123";
    QTest::newRow("us short") << "US" << "555-0123" << "5550123";
    QTest::newRow("gb trunk zero") << "GB" << "07400 123456" << "+447400123456";
    QTest::newRow("no pattern, code added by rule 6") << "AC" << "2476677" << "+2476677";
    QTest::newRow("no pattern, national stays") << "AC" << "6677" << "6677";
    QTest::newRow("cyrillic sender kept") << "RU" << "МТС Банк" << "мтс банк";
    QTest::newRow("cjk sender kept") << "CN" << "中国移动" << "中国移动";
    QTest::newRow("arabic sender kept") << "EG" << "بنك" << "بنك";
    QTest::newRow("non-ascii digits removed") << "RU" << "٣ 916 123 45 67" << "+79161234567";
    QTest::newRow("empty") << "RU" << "" << "";
    QTest::newRow("only punctuation") << "RU" << "--" << "";
    QTest::newRow("empty info") << "" << "916 123 45 67" << "9161234567";
    QTest::newRow("empty info, nothing left") << "" << "()" << "";
    QTest::newRow("huge") << "RU" << QString(100000, '5') << QString(100000, '5');
}

void TestCountryLibDb::formatNumber()
{
    QFETCH(QString, sn);
    QFETCH(QString, input);
    QFETCH(QString, output);
    CountryLibDb db("");
    bool ok = false;
    const _CountryInfo info = sn.isEmpty() ? _CountryInfo() : db.infoByCode(sn, &ok);
    QCOMPARE(ok, !sn.isEmpty());
    QCOMPARE(info.formatNumber(input), output);
}

void TestCountryLibDb::lengthAndPattern()
{
    const _CountryInfo it = row("IT", "39", "9,10", "3(?:[12457-9]\\d{8}|6\\d{7,8}|3\\d{7,9})");
    QVERIFY(it._isLengthValid(9));
    QVERIFY(it._isLengthValid(10));
    QVERIFY(!it._isLengthValid(11));
    QVERIFY(it._isMatch("3123456789"));
    QVERIFY(!it._isMatch("2123456789"));
    // Top-level alternatives: only the first is anchored at the start.
    const _CountryInfo cn = row("CN", "86", "11", "1(?:3\\d|4[57]|[58][0-35-9])\\d{8}|184\\d{8}");
    QVERIFY(cn._isMatch("99918412345678"));
    const _CountryInfo odd = row("XX", "1", "x,,7", "");
    QVERIFY(odd._isLengthValid(0));
    QVERIFY(odd._isLengthValid(7));
    QVERIFY(!_CountryInfo()._isMatch(""));
    QVERIFY(_CountryInfo()._isLengthValid(0));
}

void TestCountryLibDb::lookups()
{
    CountryLibDb db("");
    bool ok = false;
    const _CountryInfo ru = db.infoByCode("ru", &ok);
    QVERIFY(ok);
    QCOMPARE(ru.sn, QStringLiteral("RU"));
    QCOMPARE(ru.n, QStringLiteral("Russia"));
    QCOMPARE(ru.ln, QStringLiteral("Россия"));
    QCOMPARE(ru.pnum, QStringLiteral("7"));
    QCOMPARE(ru.mmc, QStringLiteral("250"));
    QCOMPARE(ru.numc, QStringLiteral("10"));
    QCOMPARE(ru.r1, QStringLiteral("^9\\d{9}$"));
    QCOMPARE(db.infoByMMC("250", &ok).sn, QStringLiteral("RU"));
    QVERIFY(ok);
    QCOMPARE(db.infoByMMC("405", &ok).sn, QStringLiteral("IN"));
    QCOMPARE(db.infoByMMC("", &ok).sn, QString());
    QVERIFY(!ok);
    const _CountryInfo none = db.infoByCode("ZZ", &ok);
    QVERIFY(!ok);
    QVERIFY(none.sn.isEmpty() && none.pnum.isEmpty() && none.r1.isEmpty());
    QCOMPARE(db.infoByCode("AC").r1, QStringLiteral("^$"));
    QCOMPARE(db.defCountryInfo().sn, QString());
}

void TestCountryLibDb::defaultCountryFromMcc()
{
    CountryLibDb db("310");
    QCOMPARE(db.defCountryInfo().sn, QStringLiteral("US"));
    bool ok = true;
    QCOMPARE(db.infoByCode("ZZ", &ok).sn, QStringLiteral("US"));
    QVERIFY(!ok);
    db.openCheck(); // open already: nothing happens
    QCOMPARE(db.defCountryInfo().mmc, QStringLiteral("310,311,312,313,314,315,316"));
}

void TestCountryLibDb::tableRowsAsPublished()
{
    CountryLibDb db("");
    db.openCheck();
    const QString path = target();
    QCOMPARE(SqlFixture::scalar(path, "select count(*) from countries").toInt(), 242);
    // Stored order: the first and last rows, and every row's code and lengths.
    const QString published = QStringLiteral(
        "IN 91 (10); BR 55 (10,11); ES 34 (9); DE 49 (7,8,9,10,11,12); MX 52 (10,11); IT 39 (9,10); AX 358 (6"
        ",7,8,9,10,11); AS 1 (10); AD 376 (6); AO 244 (9); AI 1 (10); AG 1 (10); AR 54 (10,11); AW 297 (7); A"
        "C 247 (4); AU 61 (9); AZ 994 (9); BS 1 (10); BB 1 (10); BE 32 (9); BZ 501 (7); BJ 229 (8); BM 1 (10)"
        "; BO 591 (8); BA 387 (8,9); BW 267 (8); IO 246 (7); VG 1 (10); BN 673 (7); BF 226 (8); BI 257 (8); C"
        "V 238 (7); CM 237 (8); CA 1 (10); BQ 599 (7,8); KY 1 (10); CZ 420 (9); CL 56 (9); CX 61 (9); VA 379 "
        "(10); CO 57 (10); CG 242 (9); CD 243 (9); CK 682 (5); CR 506 (8); CI 225 (8); CU 53 (8); CW 599 (7,8"
        "); DK 45 (8); DJ 253 (8); DM 1 (10); EC 593 (8,9); EE 372 (7,8); SV 503 (8); ER 291 (7); FK 500 (5);"
        " FJ 679 (7); FO 298 (6); FR 33 (9); GA 241 (8); GM 220 (7); GH 233 (9); GI 350 (8); GD 1 (10); GP 59"
        "0 (9); GU 1 (10); GT 502 (8); GG 44 (10); GW 245 (7); GQ 240 (9); GN 224 (8,9); GY 592 (7); GF 594 ("
        "9); HT 509 (8); HN 504 (8); HR 385 (8,9); ZA 27 (9); ID 62 (9,10,11); IE 353 (9); IS 354 (7,8,9); IM"
        " 44 (10); JM 1 (10); JE 44 (10); GL 299 (6); KE 254 (9); CC 61 (9); KI 686 (5); RE 262 (9); LV 371 ("
        "8); LS 266 (8); LR 231 (7,8,9); LI 423 (7); LT 370 (8); LU 352 (9); MG 261 (9); HU 36 (9); MW 265 (9"
        "); MY 60 (9,10); MV 960 (7); ML 223 (8); MT 356 (8); MH 692 (7); MQ 596 (9); MU 230 (7,8); YT 262 (9"
        "); FM 691 (7); MZ 258 (9); MC 377 (8,9); MS 1 (10); NA 264 (9); NR 674 (7); NL 31 (9); NZ 64 (8,9,10"
        "); NI 505 (8); NE 227 (8); NG 234 (10); NU 683 (4); NF 672 (5,6); NO 47 (8); MP 1 (10); NC 687 (6); "
        "UZ 998 (7,8,9); AT 43 (10,11,12,13); PW 680 (7); PA 507 (8); PG 675 (7,8); PY 595 (9); PE 51 (9); PH"
        " 63 (10); PL 48 (9); PF 689 (6,8); PT 351 (9); PR 1 (10); DO 1 (10); MD 373 (8); CF 236 (8); RO 40 ("
        "9); RW 250 (9); SH 290 (4,5); KN 1 (10); LC 1 (10); BL 590 (9); MF 590 (9); PM 508 (6); WS 685 (6,7)"
        "; SM 378 (8); ST 239 (7); CH 41 (9); SN 221 (9); SC 248 (7); AL 355 (9); SL 232 (8); SG 65 (8); SX 1"
        " (10); SI 386 (8); SK 421 (9); SB 677 (7); SO 252 (8,9); SS 211 (9); VC 1 (10); FI 358 (6,7,8,9,10,1"
        "1); SR 597 (7); SE 46 (9); SZ 268 (8); TZ 255 (9); TD 235 (8); TL 670 (8); TG 228 (8); TK 690 (4); T"
        "O 676 (7); TT 1 (10); TR 90 (10); TC 1 (10); TV 688 (6); VI 1 (10); UG 256 (9); GB 44 (10); US 1 (10"
        "); UY 598 (8); VU 678 (7); VE 58 (10); VN 84 (9,10); WF 681 (6); ZM 260 (9); ZW 263 (9,10); GR 30 (1"
        "0); CY 357 (8); BY 375 (9); BG 359 (9); KG 996 (9); KZ 7 (10); MK 389 (8); MN 976 (8); RU 7 (10); RS"
        " 381 (8,9); TJ 992 (9); TM 993 (8); UA 380 (9); ME 382 (8,9); SJ 47 (8); GE 995 (9); AM 374 (8); IL "
        "972 (9); AF 93 (9); PS 970 (9); JO 962 (9); AE 971 (9); BH 973 (8); DZ 213 (9); SD 249 (9); IQ 964 ("
        "10); KW 965 (8); MA 212 (9); SA 966 (9); YE 967 (9); IR 98 (10); PK 92 (10); TN 216 (8); KM 269 (7);"
        " SY 963 (9); OM 968 (8); QA 974 (8); LB 961 (7,8); LY 218 (9); EG 20 (9,10); MR 222 (8); ET 251 (9);"
        " NP 977 (10); BD 880 (10); LK 94 (9); TH 66 (9); LA 856 (10); BT 975 (8); MM 95 (8,9,10); KH 855 (8,"
        "9); KR 82 (9,10); KP 850 (10); CN 86 (11); MO 853 (8); HK 852 (8); TW 886 (9); JP 81 (10)");
    QCOMPARE(SqlFixture::scalar(path, "select group_concat(sn||' '||pnum||' ('||numc||')', '; ') from "
                                      "(select * from countries order by rowid)")
                 .toString(),
             published);
    QCOMPARE(SqlFixture::scalar(path, "select count(*) from countries where pnum='1'").toInt(), 25);
    QCOMPARE(SqlFixture::scalar(path, "select count(*) from countries where pnum='44'").toInt(), 4);
    QCOMPARE(SqlFixture::scalar(path, "select group_concat(sn) from countries where r1=''").toString(),
             QStringLiteral("AC,VA,SH"));
    QCOMPARE(SqlFixture::scalar(path, "select mmc||'|'||numc||'|'||r1||'|'||ln from countries where sn='CN'").toString(),
             QStringLiteral("460|11|1(?:3\\d|4[57]|[58][0-35-9])\\d{8}|184\\d{8}|中国"));
    QCOMPARE(SqlFixture::scalar(path, "select mmc||'|'||r1 from countries where sn='IN'").toString(),
             QStringLiteral("404,405|[7-9]\\d{9}"));
    QCOMPARE(SqlFixture::scalar(path, "select mmc||'|'||ln from countries where sn='AC'").toString(),
             QStringLiteral("999|Ascension Island"));
    QCOMPARE(SqlFixture::scalar(path, "select count(*) from mmc_sn where sn not in (select sn from countries)").toInt(), 0);
    QCOMPARE(SqlFixture::scalar(path, "select count(*) from countries where sn is null or ln is null or n is null "
                                      "or pnum is null or mmc is null or numc is null or r1 is null")
                 .toInt(),
             0);
    QVERIFY(SqlFixture::scalar(path, "select sql from sqlite_master where name='countries'").toString().contains("\r\n"));
    QCOMPARE(SqlFixture::scalar(path, "select count(*) from sqlite_master where name in "
                                      "('index_countries_pnum','index_mmc_sn','sqlite_autoindex_countries_1')")
                 .toInt(),
             3);
}

void TestCountryLibDb::existingFileIsKept()
{
    SqlFixture::build(target(), "create table countries(sn, ln, pnum, mmc, numc, r1, n);"
                                "create table mmc_sn(mmc, sn);"
                                "insert into countries values('RU','x','7','250','10','9\\d{9}','Own');");
    CountryLibDb db("");
    QCOMPARE(db.infoByCode("RU").n, QStringLiteral("Own"));
    QCOMPARE(SqlFixture::scalar(target(), "select count(*) from countries").toInt(), 1);
}

void TestCountryLibDb::copyFailureIsReported()
{
    QVERIFY(QDir().mkpath(target() + ".tmp/blocker"));
    CountryLibDb db("");
    try {
        db.openCheck();
        QFAIL("no error");
    } catch (const std::runtime_error& e) {
        QVERIFY2(QString::fromUtf8(e.what()).startsWith("can not create " + target() + ". "), e.what());
    }
    QVERIFY(!db.isOpen());
    QVERIFY(!QFile::exists(target()));
}

void TestCountryLibDb::notACountryTable()
{
    SqlFixture::build(target(), "create table other(x);");
    CountryLibDb db("");
    QVERIFY_THROWS_EXCEPTION(std::exception, db.infoByCode("RU"));
    QVERIFY(!db.isOpen());
}

QTEST_GUILESS_MAIN(TestCountryLibDb)
#include "tst_countrylibdb.moc"
