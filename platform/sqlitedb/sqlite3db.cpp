#include "sqlite3db.h"

#include <QFile>
#include <sqlite3.h>

#include <sys/stat.h>

namespace {
// Waits this long for another connection's lock before reporting "database is locked".
constexpr int kBusyTimeoutMs = 1000;
// Statements executeThrow keeps at most; far more than any writer uses.
constexpr qsizetype kMaxKeptStatements = 100;

QVariant argumentOf(sqlite3_value* value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_value_int64(value)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_value_double(value));
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(value)), sqlite3_value_bytes(value));
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_value_blob(value));
        return data ? QByteArray(data, sqlite3_value_bytes(value)) : QByteArray("");
    }
    default:
        return QVariant();
    }
}

void setResult(sqlite3_context* context, const QVariant& result)
{
    switch (result.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        sqlite3_result_null(context);
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_result_double(context, result.toDouble());
        break;
    case QMetaType::QString: {
        const QByteArray utf8 = result.toString().toUtf8();
        sqlite3_result_text(context, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        break;
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = result.toByteArray();
        sqlite3_result_blob(context, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        break;
    }
    default:
        sqlite3_result_int64(context, result.toLongLong());
    }
}

void callScalarFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    const auto& function = *static_cast<const Sqlite3DB::ScalarFunction*>(sqlite3_user_data(context));
    QVariantList args;
    args.reserve(argc);
    for (int i = 0; i < argc; ++i)
        args.append(argumentOf(argv[i]));
    try {
        setResult(context, function(args));
    } catch (const std::exception& e) {
        sqlite3_result_error(context, e.what(), -1);
    }
}

// Whether the statement's first word is one that changes the schema (white
// space and comments before it skipped).
bool changesSchema(const QByteArray& sql)
{
    qsizetype i = 0;
    const qsizetype n = sql.size();
    while (i < n) {
        if (QChar::isSpace(uchar(sql.at(i)))) {
            ++i;
        } else if (sql.mid(i, 2) == "--") {
            const qsizetype end = sql.indexOf('\n', i);
            i = end < 0 ? n : end + 1;
        } else if (sql.mid(i, 2) == "/*") {
            const qsizetype end = sql.indexOf("*/", i + 2);
            i = end < 0 ? n : end + 2;
        } else {
            break;
        }
    }
    qsizetype end = i;
    while (end < n && QChar::isLetter(uchar(sql.at(end))))
        ++end;
    const QByteArray word = sql.mid(i, end - i).toLower();
    for (const char* schemaWord : {"create", "drop", "alter", "attach", "detach"})
        if (word == schemaWord)
            return true;
    return false;
}

void destroyScalarFunction(void* function)
{
    delete static_cast<Sqlite3DB::ScalarFunction*>(function);
}

} // namespace

Sqlite3DB::~Sqlite3DB()
{
    close();
}

void Sqlite3DB::throwLast(int rc)
{
    throw Sqlite3Error(rc, handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc));
}

void Sqlite3DB::openThrow(const QString& path, int flags)
{
    close();
    const QByteArray native = path.toUtf8();
    struct stat before;
    const bool creates = (flags & SQLITE_OPEN_CREATE) && ::stat(native.constData(), &before) != 0;
    sqlite3* db = nullptr;
    // A connection, its statements and its cursors serve one thread at a
    // time, as this wrapper's own state already requires: SQLite's locking
    // around every call would guard nothing and costs a mutex per column read.
    int rc = sqlite3_open_v2(native.constData(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    // A database this wrapper creates holds messages, contacts or dates of
    // them: it is the user's alone. SQLite gives its journals the main file's
    // mode, so they follow.
    if (rc == SQLITE_OK && creates)
        ::chmod(native.constData(), 0600);
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(db, 0);
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // Opening is lazy in SQLite; reading the schema now makes a file that is
        // not a database, or a locked one, fail here rather than at first use.
        rc = sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        throw Sqlite3Error(rc, message + " (" + path.toStdString() + ")");
    }
    handle = db;
    m_path = path;
}

std::shared_ptr<Sqlite3Stmt> Sqlite3DB::compileThrow(const QString& sql)
{
    if (!handle)
        throw Sqlite3Error(SQLITE_MISUSE, "database is not open");
    sqlite3_stmt* raw = nullptr;
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &raw, nullptr);
    if (rc != SQLITE_OK)
        throwLast(rc);
    if (!raw) // only white space or comments
        throw Sqlite3Error(SQLITE_MISUSE, "empty SQL statement");
    if (changesSchema(text))
        m_schemaChanged = true;
    return std::make_shared<Sqlite3Stmt>(handle, raw);
}

void Sqlite3DB::bindThrow(sqlite3_stmt* raw, const Sqlite3Sql& sql)
{
    int index = 1;
    int rc = SQLITE_OK;
    for (const Sqlite3Sql::Param& p : sql.params()) {
        switch (p.kind) {
        case Sqlite3Sql::Kind::Text: {
            const QByteArray utf8 = p.value.toString().toUtf8();
            rc = sqlite3_bind_text(raw, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
            break;
        }
        case Sqlite3Sql::Kind::Int64:
            rc = sqlite3_bind_int64(raw, index, p.value.toLongLong());
            break;
        case Sqlite3Sql::Kind::Blob: {
            const QByteArray bytes = p.value.toByteArray();
            rc = bytes.isEmpty() ? sqlite3_bind_zeroblob(raw, index, 0)
                                 : sqlite3_bind_blob(raw, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        case Sqlite3Sql::Kind::Double:
            rc = sqlite3_bind_double(raw, index, p.value.toDouble());
            break;
        case Sqlite3Sql::Kind::Null:
            rc = sqlite3_bind_null(raw, index);
            break;
        }
        if (rc != SQLITE_OK)
            throwLast(rc);
        ++index;
    }
}

std::shared_ptr<Sqlite3Stmt> Sqlite3DB::prepareThrow(const Sqlite3Sql& sql)
{
    auto stmt = compileThrow(sql.sql());
    bindThrow(stmt->raw(), sql);

    // Forget statements that are gone, so the list stays as long as the live ones.
    if (m_statements.size() >= 64) {
        std::vector<std::weak_ptr<Sqlite3Stmt>> alive;
        for (auto& w : m_statements)
            if (!w.expired())
                alive.push_back(std::move(w));
        m_statements.swap(alive);
        if (m_statements.capacity() > 4 * (m_statements.size() + 64))
            m_statements.shrink_to_fit();
    }
    m_statements.push_back(stmt);
    return stmt;
}

std::shared_ptr<Sqlite3Stmt> Sqlite3DB::keptStatementThrow(const Sqlite3Sql& sql)
{
    if (m_schemaChanged) // a schema change compiled by another call
        forgetKeptStatements();
    const auto kept = m_kept.constFind(sql.sql());
    if (kept != m_kept.constEnd())
        return *kept;
    auto stmt = compileThrow(sql.sql());
    if (m_schemaChanged)
        return stmt; // run once; it lets the others go
    // Texts that carry their values (one per row) would otherwise pile up;
    // letting all go costs the few statements in steady use one compile each.
    if (m_kept.size() >= kMaxKeptStatements)
        forgetKeptStatements();
    m_kept.insert(sql.sql(), stmt);
    return stmt;
}

void Sqlite3DB::forgetKeptStatements()
{
    for (const auto& stmt : std::as_const(m_kept))
        stmt->finalize();
    m_kept.clear();
    m_schemaChanged = false;
}

Sqlite3Cursor Sqlite3DB::queryThrow(const Sqlite3Sql& sql)
{
    return Sqlite3Cursor(prepareThrow(sql));
}

void Sqlite3DB::executeThrow(const Sqlite3Sql& sql)
{
    const std::shared_ptr<Sqlite3Stmt> stmt = keptStatementThrow(sql);
    try {
        bindThrow(stmt->raw(), sql);
        while (stmt->step()) {
        }
    } catch (...) {
        stmt->rewind();
        throw;
    }
    stmt->rewind();
    if (m_schemaChanged)
        forgetKeptStatements();
}

int Sqlite3DB::exec(const QString& sql, QString& error)
{
    if (!handle) {
        error = QStringLiteral("database is not open");
        return SQLITE_MISUSE;
    }
    char* message = nullptr;
    // A script may change the schema anywhere in it.
    forgetKeptStatements();
    const int rc = sqlite3_exec(handle, sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK)
        error = QString::fromUtf8(message ? message : sqlite3_errstr(rc));
    sqlite3_free(message);
    return rc;
}

void Sqlite3DB::runScriptThrow(const QByteArray& script)
{
    if (!handle)
        throw Sqlite3Error(SQLITE_MISUSE, "database is not open");
    // The C API reads the script as a C string: it ends at the first NUL byte.
    char* message = nullptr;
    forgetKeptStatements();
    const int rc = sqlite3_exec(handle, script.constData(), nullptr, nullptr, &message);
    if (rc == SQLITE_OK)
        return;
    const std::string text = message ? message : sqlite3_errstr(rc);
    sqlite3_free(message);
    throw Sqlite3Error(rc, text);
}

void Sqlite3DB::createFromScriptThrow(const QString& path, const QByteArray& script)
{
    const bool existed = QFile::exists(path);
    try {
        openThrow(path, ReadWriteCreate);
        runScriptThrow(script);
    } catch (...) {
        // A half-made schema would pass for a finished one at every later open.
        close();
        if (!existed)
            QFile::remove(path);
        throw;
    }
}

void Sqlite3DB::createFromScriptFileThrow(const QString& path, const QString& scriptFile)
{
    QFile file(scriptFile);
    if (!file.open(QIODevice::ReadOnly))
        throw Sqlite3Error(SQLITE_CANTOPEN,
                           QStringLiteral("cannot read %1: %2").arg(scriptFile, file.errorString()).toStdString());
    createFromScriptThrow(path, file.readAll());
}

void Sqlite3DB::registerScalarFunctionThrow(const char* name, int argCount, ScalarFunction function)
{
    if (!handle)
        throw Sqlite3Error(SQLITE_MISUSE, "database is not open");
    // SQLite owns the copy from here on and destroys it, on failure too.
    auto* owned = new ScalarFunction(std::move(function));
    const int rc = sqlite3_create_function_v2(handle, name, argCount, SQLITE_UTF8, owned, callScalarFunction, nullptr,
                                              nullptr, destroyScalarFunction);
    if (rc != SQLITE_OK)
        throwLast(rc);
}

QHash<QString, _SqliteCol> Sqlite3DB::tbInfo(const QString& table)
{
    QHash<QString, _SqliteCol> columns;
    Sqlite3Cursor c = queryThrow(QStringLiteral("pragma table_info(%1)").arg(sqlQuoteIdentifier(table)));
    while (c.moveNext()) {
        const QString name = c.getText(QStringLiteral("name"));
        columns.insert(name, _SqliteCol(name, c.getText(QStringLiteral("type")), c.getInt(QStringLiteral("notnull")) != 0,
                                        !c.isNull(QStringLiteral("dflt_value")), c.getInt(QStringLiteral("pk")) != 0));
    }
    return columns;
}

void Sqlite3DB::beginTran()
{
    executeThrow("begin transaction");
}

void Sqlite3DB::commitTran()
{
    executeThrow("commit transaction");
}

void Sqlite3DB::rollbackTran()
{
    executeThrow("rollback transaction");
}

qint64 Sqlite3DB::lastInsertId() const
{
    return handle ? sqlite3_last_insert_rowid(handle) : 0;
}

void Sqlite3DB::close()
{
    if (!handle)
        return;
    // Every statement goes before the connection: one left over would keep
    // the file open as a zombie connection.
    forgetKeptStatements();
    for (auto& w : m_statements)
        if (auto stmt = w.lock())
            stmt->finalize();
    m_statements.clear();
    sqlite3_close_v2(handle);
    handle = nullptr;
}
