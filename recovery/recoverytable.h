// The columns a recovery carves a table's rows with and reads their values
// by. A file that declares the table is carved with its own declaration,
// unless that declaration is exactly one of the layouts the table is known to
// have had (then those known layouts, as they always were); a file without
// the table, or whose declaration cannot be read, gets the known layouts.
// Rows written before the declaration's later columns were appended are
// carved with its leading columns wherever these make a known layout. Values
// are found by column name, so a column that a phone put elsewhere is still
// read from its place.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "carvecolumn.h"
#include "sqlitefilerecords.h"

class Sqlite3DB;

class RecoveryTable
{
public:
    // `declared`: the table's columns in declared order (empty: none).
    // `known`: the layouts the table has had, in the order they are tried.
    // `required`: names a declaration must hold to be used.
    RecoveryTable(const QList<_SqliteCol>& declared, const QList<QList<_SqliteCol>>& known,
                  const QStringList& required = QStringList());

    // The table's columns as the file declares them, in order; empty when the
    // file has no such table or the declaration cannot be read.
    static QList<_SqliteCol> readDeclaration(Sqlite3DB& db, const QString& table);

    // Whether the table's own declaration is carved with (it differs from
    // every known layout).
    bool usesDeclaration() const { return declarationUsed; }
    const QList<CarveLayout>& layouts() const { return carveLayouts; }
    // The columns, value k of a row being column k.
    const QList<_SqliteCol>& columns() const { return cols; }
    // Position of a column, letter case ignored; -1 when the table has none.
    int indexOf(const QString& name) const { return positions.value(name.toLower(), -1); }

    // Value `index` of the row; a null value where the row holds none.
    static QVariant at(const _SqliteFileRowData& row, int index)
    {
        return index >= 0 && index < row.values.size() ? row.values.at(index) : QVariant();
    }

private:
    void useColumns(const QList<_SqliteCol>& columns);

    QList<CarveLayout> carveLayouts;
    QList<_SqliteCol> cols;
    QHash<QString, int> positions;
    bool declarationUsed = false;
};
