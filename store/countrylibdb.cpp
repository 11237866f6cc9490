#include "countrylibdb.h"

#include <QFile>
#include <stdexcept>

#include "data_path_util.h"

namespace {

const char* const kResource = ":/res/countries.db";

void fillCountryInfo(_CountryInfo& info, const Sqlite3Cursor& c)
{
    info.sn = c.getText(QStringLiteral("sn"));
    info.ln = c.getText(QStringLiteral("ln"));
    info.mmc = c.getText(QStringLiteral("mmc"));
    info.n = c.getText(QStringLiteral("n"));
    info.numc = c.getText(QStringLiteral("numc"));
    info.pnum = c.getText(QStringLiteral("pnum"));
    info.r1 = QLatin1Char('^') + c.getText(QStringLiteral("r1")) + QLatin1Char('$');
}

// Copies the resource through a temporary file, so an interrupted copy never
// leaves a file that later runs would open as the table.
void copyResource(const QString& target)
{
    QFile source(QString::fromLatin1(kResource));
    if (!source.exists())
        throw std::runtime_error("can not find :res/countries.db.");
    const QString tmp = target + QStringLiteral(".tmp");
    QFile::remove(tmp);
    QString error;
    if (!source.copy(tmp))
        error = source.errorString();
    else if (!QFile::rename(tmp, target))
        error = QStringLiteral("cannot rename %1").arg(tmp);
    if (!error.isEmpty()) {
        QFile::remove(tmp);
        throw std::runtime_error(QStringLiteral("can not create %1. %2").arg(target, error).toUtf8().toStdString());
    }
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}

} // namespace

CountryLibDb::CountryLibDb(const QString& mmc) : mmc(mmc) {}

void CountryLibDb::openCheck()
{
    if (isOpen())
        return;
    const QString target = g_dataSaveDir().absoluteFilePath(QStringLiteral("countries.db"));
    if (!QFile::exists(target))
        copyResource(target);
    openThrow(target, ReadWrite);
    try {
        defInfo = infoByMMC(mmc);
    } catch (...) {
        close(); // not a country table: stay closed, so the next call tries again
        throw;
    }
}

_CountryInfo CountryLibDb::firstOrDefault(const Sqlite3Sql& sql, bool* ok)
{
    Sqlite3Cursor c = queryThrow(sql);
    const bool found = c.moveNext();
    if (ok)
        *ok = found;
    if (!found)
        return defInfo;
    _CountryInfo info;
    fillCountryInfo(info, c);
    return info;
}

_CountryInfo CountryLibDb::infoByMMC(const QString& code, bool* ok)
{
    openCheck();
    return firstOrDefault(
        Sqlite3Sql("select c.* from mmc_sn as m inner join countries as c on m.[sn] = c.sn and m.mmc=?").addTextParam(code),
        ok);
}

_CountryInfo CountryLibDb::infoByCode(const QString& code, bool* ok)
{
    openCheck();
    return firstOrDefault(Sqlite3Sql("select * from countries where sn=?").addTextParam(code.toUpper()), ok);
}

const _CountryInfo& CountryLibDb::defCountryInfo()
{
    openCheck();
    return defInfo;
}
