// A connection to one SQLite file. Every call ending in Throw raises a
// Sqlite3Error carrying SQLite's message; a failed open leaves nothing open.
#pragma once

#include <QHash>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

#include "sqlite3cursor.h"
#include "sqlite3row.h"
#include "sqlite3sql.h"
#include "sqlitecol.h"
#include "sqliteerror.h"

struct sqlite3;

class Sqlite3DB
{
public:
    // SQLite's open flags as callers pass them.
    enum OpenFlags { ReadOnly = 1, ReadWrite = 2, ReadWriteCreate = 6 };

    Sqlite3DB() = default;
    virtual ~Sqlite3DB();
    Sqlite3DB(const Sqlite3DB&) = delete;
    Sqlite3DB& operator=(const Sqlite3DB&) = delete;

    // A scalar SQL function: its arguments (integers as qint64, reals as
    // double, texts as QString, blobs as QByteArray, NULL as a null QVariant)
    // to its result, given back the same way. A std::exception it throws
    // fails the statement with its text.
    using ScalarFunction = std::function<QVariant(const QVariantList& args)>;

    bool isOpen() const { return handle != nullptr; }
    // Opens the file (closing any earlier connection first) and reads its
    // schema, so a file that is not a database or is locked fails here.
    void openThrow(const QString& path, int flags);
    Sqlite3Cursor queryThrow(const Sqlite3Sql& sql);
    // Runs the statement to its end. The compiled statement is kept, keyed by
    // its text, and run again with the next call's values: callers that write
    // many rows pass one text with "?" parameters, never values in the text.
    void executeThrow(const Sqlite3Sql& sql);
    // Runs one or more statements; 0 on success, else SQLite's code and its text in `error`.
    int exec(const QString& sql, QString& error);
    // Runs the statements of `script` up to its first NUL byte, stopping at
    // the first that fails, whose text the Sqlite3Error carries.
    void runScriptThrow(const QByteArray& script);
    // Creates the file at `path` and runs the schema `script` in it. On
    // failure nothing stays open, the file this call made is removed, and
    // the Sqlite3Error goes on to the caller.
    void createFromScriptThrow(const QString& path, const QByteArray& script);
    // As above with the script read from the file `scriptFile` (a resource
    // such as ":res/schema.sql"); a file that cannot be read fails the same way.
    void createFromScriptFileThrow(const QString& path, const QString& scriptFile);
    // Makes `name` with `argCount` arguments callable from SQL on this
    // connection until it closes.
    void registerScalarFunctionThrow(const char* name, int argCount, ScalarFunction function);
    // Columns of a table by name; empty when the table does not exist.
    QHash<QString, _SqliteCol> tbInfo(const QString& table);

    void beginTran();
    void commitTran();
    void rollbackTran();
    qint64 lastInsertId() const;
    // Finalises every statement handed out and releases the file; a pending
    // transaction is discarded. No-op while closed.
    virtual void close();

    const QString& path() const { return m_path; }
    // How many statements executeThrow keeps for reuse now.
    int keptStatementCount() const { return int(m_kept.size()); }

private:
    std::shared_ptr<Sqlite3Stmt> prepareThrow(const Sqlite3Sql& sql);
    std::shared_ptr<Sqlite3Stmt> compileThrow(const QString& sql);
    void bindThrow(sqlite3_stmt* stmt, const Sqlite3Sql& sql);
    std::shared_ptr<Sqlite3Stmt> keptStatementThrow(const Sqlite3Sql& sql);
    void forgetKeptStatements();
    [[noreturn]] void throwLast(int rc);

    sqlite3* handle = nullptr; // null while closed
    QString m_path;
    std::vector<std::weak_ptr<Sqlite3Stmt>> m_statements;
    // The statements of executeThrow by their text, reset and unbound
    // between runs, so that they hold no lock and no value.
    QHash<QString, std::shared_ptr<Sqlite3Stmt>> m_kept;
    // Set by compiling a statement that changes the schema; the kept
    // statements are then let go once it has run.
    bool m_schemaChanged = false;
};
