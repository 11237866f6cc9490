// What the recovery procedure tests share: a progress reporter that records
// what it is told and can cancel at a chosen report, and reads of what a run
// stored in the recovery database.
#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include "countrylibdb.h"
#include "progressreporter.h"
#include "sqlfixture.h"
#include "temphome.h"

namespace RecoveryTestSupport {

class Reporter : public ProgressReporter
{
public:
    bool cancel = false;
    int cancelAtReport = 0; // the report (counted from 1) that sets `cancel`; 0: none
    QList<int> percents;
    void reportProgress(const QString&, int percent, const QString&) override
    {
        percents.append(percent);
        if (percents.size() == cancelAtReport)
            cancel = true;
    }
    bool isCancelled() const override { return cancel; }
};

// The country that formats the fixtures' numbers.
inline _CountryInfo us()
{
    CountryLibDb lib{QString()};
    return lib.infoByCode("US", nullptr);
}

// A fresh database folder for each test, below one temporary home.
class Folders
{
public:
    QString next() { return home.file(QStringLiteral("db%1").arg(++count)); }

private:
    TempHome home;
    int count = 0;
};

inline QString recyclePath(const QString& folder)
{
    return folder + QStringLiteral("/recycle.db");
}

// The values of column v of a query, as a set of texts.
inline QSet<QString> column(const QString& path, const QString& sql)
{
    const QStringList values = SqlFixture::scalar(path, "select group_concat(v, char(10)) from (" + sql + ")")
                                   .toString()
                                   .split('\n', Qt::SkipEmptyParts);
    return QSet<QString>(values.begin(), values.end());
}

} // namespace RecoveryTestSupport
