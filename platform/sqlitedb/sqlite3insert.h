// Inserts into one table over a list of columns fixed up front, of which each
// row sets some (a column a row leaves out takes its default). The statement
// text of each set of columns is made once, so a writer of many rows builds
// no SQL per row: it only binds the row's values, in the order of the list.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include "sqlite3sql.h"

// "insert into <table> (columns) values (?...)", or "default values" without columns.
QString sqlInsertText(const QString& table, const QStringList& quotedColumns);

class Sqlite3Insert
{
public:
    Sqlite3Insert() = default;
    explicit Sqlite3Insert(const QString& table) : m_table(table) {}

    // Appends a column to the list and gives its position; at most 64 columns.
    int addColumn(const QString& name);

    // Starts a row, dropping the values of one left unfinished.
    Sqlite3Insert& newRow();
    // The row's values, each for a column after the last one set; position
    // -1 (a column the table does not have) sets nothing. An empty QString
    // binds as '', an empty QByteArray as an empty blob.
    Sqlite3Insert& setText(int column, const QString& value);
    Sqlite3Insert& setInt64(int column, qint64 value);
    Sqlite3Insert& setBlob(int column, const QByteArray& value);
    // The statement of the row set so far; the next value starts a new row.
    Sqlite3Sql takeRow();

private:
    bool take(int column);

    QString m_table;
    QStringList m_quoted;
    QHash<quint64, QString> m_texts; // by the set of columns, one bit each
    quint64 m_present = 0;
    int m_last = -1;
    Sqlite3Sql m_row;
};
