// One row as a map from column name to value. Names match regardless of case,
// and the order in which columns were first set is kept.
#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariant>

#include "sqlite3sql.h"

class Sqlite3Row
{
public:
    // Writable value of the column, added (as a null value) when absent.
    QVariant& operator[](const QString& column);
    // Value of the column; a null QVariant when absent.
    QVariant val(const QString& column) const;
    bool contains(const QString& column) const;
    void remove(const QString& column);
    QStringList columns() const { return m_names; }
    int size() const { return m_names.size(); }

    // "insert into <table> (cols) values (?...)" over every column but those in
    // `leaveOut` (matched regardless of case); identifiers are quoted.
    Sqlite3Sql insertSql(const QString& table, const QSet<QString>& leaveOut = {}) const;

private:
    QStringList m_names;
    QList<QVariant> m_values;
    QHash<QString, int> m_index; // lower-cased name -> position
};

// Quotes an SQL identifier ("a""b").
QString sqlQuoteIdentifier(const QString& name);
