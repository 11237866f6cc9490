// A prepared statement and the cursor over its result rows.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <memory>

#include "sqlite3row.h"

struct sqlite3;
struct sqlite3_stmt;

// Owns one prepared statement. The database that made it finalises it when
// the database closes, so a cursor that outlives its connection just ends.
class Sqlite3Stmt
{
public:
    Sqlite3Stmt(sqlite3* db, sqlite3_stmt* stmt);
    ~Sqlite3Stmt();
    Sqlite3Stmt(const Sqlite3Stmt&) = delete;
    Sqlite3Stmt& operator=(const Sqlite3Stmt&) = delete;

    void finalize();
    bool step();          // throws Sqlite3Error on a failed step
    // Back before the first row with every parameter unbound (NULL), so a
    // kept statement runs again with none of its earlier values.
    void rewind();
    int count();          // number of result rows; keeps the current position
    int column(const QString& name) const; // -1 when absent
    sqlite3_stmt* raw() const { return m_stmt; }
    bool onRow() const { return m_onRow; }
    // The columns of the current row; 0 when not on a row.
    int rowColumns() const { return m_onRow ? m_rowColumns : 0; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
    QHash<QString, int> m_exact;   // name as SQLite reports it -> index
    QHash<QString, int> m_columns; // lower-cased name -> index
    int m_position = 0;            // rows stepped so far
    int m_count = -1;
    bool m_onRow = false;
    int m_rowColumns = 0; // asked once per row, not once per value read
    bool m_done = false; // stepped past the last row; SQLite would start over
};

class Sqlite3Cursor
{
public:
    Sqlite3Cursor() = default;
    explicit Sqlite3Cursor(std::shared_ptr<Sqlite3Stmt> stmt) : m_stmt(std::move(stmt)) {}

    // Advances to the next row; false after the last one. Throws Sqlite3Error
    // when SQLite fails while stepping (a damaged file, for instance).
    bool moveNext();
    int count();

    // Getters by column name, matched regardless of case. An absent column or
    // NULL gives 0, empty text or empty bytes.
    int getInt(const QString& column) const;
    qint64 getInt64(const QString& column) const;
    double getDouble(const QString& column) const;
    QString getText(const QString& column) const;
    QByteArray getBlob(const QString& column) const;

    // Loops over many rows look their columns up once with column() and read
    // by position; an absent column (-1) reads as above.
    int column(const QString& name) const; // -1 when absent
    int getInt(int position) const;
    qint64 getInt64(int position) const;
    QString getText(int position) const;
    QByteArray getBlob(int position) const;
    // The text's UTF-8 bytes, valid until the next step; a null view for
    // NULL or an absent column.
    QByteArrayView getUtf8(int position) const;
    // The value's bytes, valid until the next step; a null view for NULL or
    // an absent column.
    QByteArrayView getBytes(int position) const;
    // getInt64 of each of `n` positions into `out`, in one call: for loops
    // that read many numbers of every row.
    void getInt64s(const int* positions, qint64* out, qsizetype n) const;
    bool isNull(const QString& column) const;
    bool hasColumn(const QString& column) const;
    Sqlite3Row getRow() const;

private:
    int index(const QString& column) const;
    bool readable(int position) const;
    std::shared_ptr<Sqlite3Stmt> m_stmt;
};
