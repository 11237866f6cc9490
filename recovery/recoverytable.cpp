#include "recoverytable.h"

#include <algorithm>
#include <exception>

#include "sqlitedb.h"

namespace {

// Same names and declared types, column for column, over the first n
// columns; with `flags`, also the same NOT NULL, DEFAULT and primary key,
// which decide where the carver takes a NULL.
bool sameShape(const QList<_SqliteCol>& a, const QList<_SqliteCol>& b, int n, bool flags)
{
    if (a.size() < n || b.size() < n)
        return false;
    for (int i = 0; i < n; ++i) {
        const _SqliteCol& x = a.at(i);
        const _SqliteCol& y = b.at(i);
        if (x.name.compare(y.name, Qt::CaseInsensitive) != 0 || x.type.compare(y.type, Qt::CaseInsensitive) != 0)
            return false;
        if (flags && (x.notNull != y.notNull || x.hasDefault != y.hasDefault || x.primaryKey != y.primaryKey))
            return false;
    }
    return true;
}

// Whether the first columns of `declared`, as many as `known` has, are the
// columns of `known` (letter case ignored), in any order.
bool sameNames(const QList<_SqliteCol>& declared, const QList<_SqliteCol>& known)
{
    if (declared.size() < known.size())
        return false;
    QStringList a, b;
    for (int i = 0; i < known.size(); ++i) {
        a.append(declared.at(i).name.toLower());
        b.append(known.at(i).name.toLower());
    }
    a.sort();
    b.sort();
    return a == b;
}

// The carver takes column 0 for the row id that the record stores as NULL:
// only a table whose first column is its INTEGER PRIMARY KEY is stored so.
bool carvable(const QList<_SqliteCol>& cols, const QStringList& required)
{
    if (cols.size() < 2 || !cols.first().primaryKey
        || cols.first().type.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) != 0)
        return false;
    for (const QString& name : required) {
        const bool has = std::any_of(cols.begin(), cols.end(), [&](const _SqliteCol& c) {
            return c.name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (!has)
            return false;
    }
    return true;
}

} // namespace

RecoveryTable::RecoveryTable(const QList<_SqliteCol>& declared, const QList<QList<_SqliteCol>>& known,
                             const QStringList& required)
{
    Q_ASSERT(!known.isEmpty());
    const QList<_SqliteCol>* longest = &known.first();
    bool isKnown = false;
    for (const QList<_SqliteCol>& k : known) {
        if (k.size() > longest->size())
            longest = &k;
        isKnown = isKnown || (declared.size() == k.size() && sameShape(declared, k, k.size(), true));
    }
    declarationUsed = !isKnown && carvable(declared, required);
    if (!declarationUsed) {
        for (const QList<_SqliteCol>& k : known)
            carveLayouts.append(CarveLayout::fromColumns(k));
        useColumns(*longest);
        return;
    }
    // Rows written before the table gained its later columns keep shorter
    // records: those of the declaration's leading columns wherever these are
    // the columns of a known layout, in whatever order the file declares
    // them (and a known layout of the same columns stays, as it always was
    // carved).
    carveLayouts.append(CarveLayout::fromColumns(declared));
    for (const QList<_SqliteCol>& k : known) {
        if (k.size() == declared.size() && sameShape(declared, k, k.size(), false))
            carveLayouts.append(CarveLayout::fromColumns(k));
        else if (k.size() < declared.size() && sameNames(declared, k))
            carveLayouts.append(CarveLayout::fromColumns(declared.mid(0, k.size())));
    }
    useColumns(declared);
}

void RecoveryTable::useColumns(const QList<_SqliteCol>& columns)
{
    cols = columns;
    for (int i = 0; i < cols.size(); ++i)
        positions.insert(cols.at(i).name.toLower(), i);
}

QList<_SqliteCol> RecoveryTable::readDeclaration(Sqlite3DB& db, const QString& table)
{
    QList<_SqliteCol> cols;
    try {
        // A DEFAULT NULL leaves the column free to hold NULL, as no default does.
        Sqlite3Cursor c = db.queryThrow(Sqlite3Sql("select name, type, \"notnull\", "
                                                   "coalesce(upper(trim(dflt_value)), 'NULL') <> 'NULL', pk "
                                                   "from pragma_table_info(?) order by cid").addTextParam(table));
        while (c.moveNext())
            cols.append(_SqliteCol(c.getText(0), c.getText(1), c.getInt(2) != 0, c.getInt(3) != 0, c.getInt(4) != 0));
    } catch (const std::exception&) {
        // A declaration SQLite cannot parse is as good as none: the known layouts serve.
        cols.clear();
    }
    return cols;
}
