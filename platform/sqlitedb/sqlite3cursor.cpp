#include "sqlite3cursor.h"

#include <sqlite3.h>

#include "sqliteerror.h"

Sqlite3Stmt::Sqlite3Stmt(sqlite3* db, sqlite3_stmt* stmt) : m_db(db), m_stmt(stmt)
{
    const int n = sqlite3_column_count(stmt);
    for (int i = 0; i < n; ++i) {
        const QString name = QString::fromUtf8(sqlite3_column_name(stmt, i));
        if (!m_exact.contains(name))
            m_exact.insert(name, i);
        if (!m_columns.contains(name.toLower()))
            m_columns.insert(name.toLower(), i);
    }
}

Sqlite3Stmt::~Sqlite3Stmt()
{
    finalize();
}

void Sqlite3Stmt::finalize()
{
    if (m_stmt) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        m_onRow = false;
    }
}

void Sqlite3Stmt::rewind()
{
    if (!m_stmt)
        return;
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    m_position = 0;
    m_count = -1;
    m_onRow = false;
    m_done = false;
}

bool Sqlite3Stmt::step()
{
    if (!m_stmt || m_done) {
        m_onRow = false;
        return false;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        ++m_position;
        m_onRow = true;
        m_rowColumns = sqlite3_column_count(m_stmt);
        return true;
    }
    m_onRow = false;
    m_done = true;
    if (rc == SQLITE_DONE)
        return false;
    const std::string message = sqlite3_errmsg(m_db);
    sqlite3_reset(m_stmt);
    throw Sqlite3Error(rc, message);
}

int Sqlite3Stmt::count()
{
    if (m_count >= 0)
        return m_count;
    if (!m_stmt)
        return 0;
    // Count by stepping to the end, then come back to where the caller was.
    const int position = m_position;
    int rows = m_position;
    if (!m_done) {
        while (sqlite3_step(m_stmt) == SQLITE_ROW)
            ++rows;
        sqlite3_reset(m_stmt);
        m_position = 0;
        m_onRow = false;
        for (int i = 0; i < position; ++i)
            step();
    }
    m_count = rows;
    return m_count;
}

int Sqlite3Stmt::column(const QString& name) const
{
    // Readers ask for columns by name once per field and row: the exact
    // spelling is found without making a lower-case copy.
    const auto exact = m_exact.constFind(name);
    if (exact != m_exact.constEnd())
        return *exact;
    return m_columns.value(name.toLower(), -1);
}

bool Sqlite3Cursor::moveNext()
{
    return m_stmt && m_stmt->step();
}

int Sqlite3Cursor::count()
{
    return m_stmt ? m_stmt->count() : 0;
}

int Sqlite3Cursor::index(const QString& column) const
{
    if (!m_stmt || !m_stmt->onRow())
        return -1;
    return m_stmt->column(column);
}

int Sqlite3Cursor::column(const QString& name) const
{
    return m_stmt ? m_stmt->column(name) : -1;
}

bool Sqlite3Cursor::readable(int position) const
{
    return m_stmt && position >= 0 && position < m_stmt->rowColumns();
}

bool Sqlite3Cursor::hasColumn(const QString& column) const
{
    return this->column(column) >= 0;
}

int Sqlite3Cursor::getInt(const QString& column) const
{
    return getInt(index(column));
}

qint64 Sqlite3Cursor::getInt64(const QString& column) const
{
    return getInt64(index(column));
}

double Sqlite3Cursor::getDouble(const QString& column) const
{
    const int i = index(column);
    return i < 0 ? 0.0 : sqlite3_column_double(m_stmt->raw(), i);
}

QString Sqlite3Cursor::getText(const QString& column) const
{
    return getText(index(column));
}

QByteArray Sqlite3Cursor::getBlob(const QString& column) const
{
    return getBlob(index(column));
}

int Sqlite3Cursor::getInt(int position) const
{
    return int(getInt64(position));
}

qint64 Sqlite3Cursor::getInt64(int position) const
{
    return readable(position) ? sqlite3_column_int64(m_stmt->raw(), position) : 0;
}

void Sqlite3Cursor::getInt64s(const int* positions, qint64* out, qsizetype n) const
{
    sqlite3_stmt* st = m_stmt ? m_stmt->raw() : nullptr;
    const int columns = m_stmt ? m_stmt->rowColumns() : 0;
    for (qsizetype i = 0; i < n; ++i) {
        const int at = positions[i];
        out[i] = at >= 0 && at < columns ? sqlite3_column_int64(st, at) : 0;
    }
}

QByteArrayView Sqlite3Cursor::getUtf8(int position) const
{
    if (!readable(position))
        return QByteArrayView();
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt->raw(), position));
    return text ? QByteArrayView(text, sqlite3_column_bytes(m_stmt->raw(), position)) : QByteArrayView();
}

QString Sqlite3Cursor::getText(int position) const
{
    const QByteArrayView text = getUtf8(position);
    return text.isNull() ? QString() : QString::fromUtf8(text);
}

QByteArray Sqlite3Cursor::getBlob(int position) const
{
    return getBytes(position).toByteArray();
}

QByteArrayView Sqlite3Cursor::getBytes(int position) const
{
    if (!readable(position))
        return QByteArrayView();
    const void* data = sqlite3_column_blob(m_stmt->raw(), position);
    return data ? QByteArrayView(static_cast<const char*>(data), sqlite3_column_bytes(m_stmt->raw(), position))
                : QByteArrayView();
}

bool Sqlite3Cursor::isNull(const QString& column) const
{
    const int i = index(column);
    return i < 0 || sqlite3_column_type(m_stmt->raw(), i) == SQLITE_NULL;
}

Sqlite3Row Sqlite3Cursor::getRow() const
{
    Sqlite3Row row;
    if (!m_stmt || !m_stmt->onRow())
        return row;
    sqlite3_stmt* st = m_stmt->raw();
    const int n = sqlite3_column_count(st);
    for (int i = 0; i < n; ++i) {
        QVariant& v = row[QString::fromUtf8(sqlite3_column_name(st, i))];
        switch (sqlite3_column_type(st, i)) {
        case SQLITE_INTEGER: v = qlonglong(sqlite3_column_int64(st, i)); break;
        case SQLITE_FLOAT: v = sqlite3_column_double(st, i); break;
        case SQLITE_TEXT:
            v = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i));
            break;
        case SQLITE_BLOB: {
            const void* data = sqlite3_column_blob(st, i);
            v = data ? QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(st, i)) : QByteArray("");
            break;
        }
        default: v = QVariant(); break;
        }
    }
    return row;
}
