#include "ios6messagedb.h"

#include "privatemode.h"

#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace {

// The columns that newer iOS versions added, and that a local database gets
// when it is opened for writing. Order matters: the failure text carries the
// step's number, and the index follows its column.
struct UpgradeStep
{
    const char* table;
    const char* column;
    const char* sql;
    int number;
};
const UpgradeStep kUpgradeSteps[] = {
    {"chat", "group_id", "ALTER TABLE chat ADD COLUMN group_id TEXT;", 159},
    {"message", "is_audio_message", "ALTER TABLE message ADD COLUMN is_audio_message INTEGER DEFAULT 0;", 164},
    {"message", "is_played", "ALTER TABLE message ADD COLUMN is_played INTEGER DEFAULT 0;", 167},
    {"message", "date_played", "ALTER TABLE message ADD COLUMN date_played INTEGER;", 170},
    {"message", "item_type", "ALTER TABLE message ADD COLUMN item_type INTEGER DEFAULT 0;", 173},
    {"message", "other_handle", "ALTER TABLE message ADD COLUMN other_handle INTEGER DEFAULT -1;", 176},
    {"message", "group_title", "ALTER TABLE message ADD COLUMN group_title TEXT;", 179},
    {"message", "group_action_type", "ALTER TABLE message ADD COLUMN group_action_type INTEGER DEFAULT 0;", 182},
    {"message", "share_status", "ALTER TABLE message ADD COLUMN share_status INTEGER;", 185},
    {"message", "share_direction", "ALTER TABLE message ADD COLUMN share_direction INTEGER;", 188},
    {"message", "is_expirable", "ALTER TABLE message ADD COLUMN is_expirable INTEGER DEFAULT 0;", 191},
    {"message", "expire_state", "ALTER TABLE message ADD COLUMN expire_state INTEGER DEFAULT 0;", 194},
    {"message", "message_action_type", "ALTER TABLE message ADD COLUMN message_action_type INTEGER DEFAULT 0;", 197},
    {"message", "logic_hash", "ALTER TABLE message ADD COLUMN logic_hash TEXT;", 200},
};
const UpgradeStep kLogicHashIndex = {"message", "logic_hash", "CREATE INDEX message_idx_logic_hash ON message(logic_hash);",
                                     201};

// Tables an iPhone fills for its cloud synchronisation; their rows mean
// nothing once the file has left the phone.
const char* const kSyncTables[] = {"sync_deleted_attachments", "sync_deleted_chats", "sync_deleted_messages",
                                   "deleted_messages"};

// Column names of a table, lower-cased: SQLite matches them regardless of case.
QSet<QString> lowerColumnNames(Sqlite3DB& db, const QString& table)
{
    QSet<QString> names;
    const QHash<QString, _SqliteCol> columns = db.tbInfo(table);
    for (auto it = columns.cbegin(); it != columns.cend(); ++it)
        names.insert(it.key().toLower());
    return names;
}

} // namespace

IOS6MessageDb::IOS6MessageDb(const QDir& dir, const _CountryInfo& country, bool upgrade)
    : AbsIOSMessageDb(dir, country), upgrade(upgrade)
{
}

IOS6MessageDb::~IOS6MessageDb() = default;

void IOS6MessageDb::openCheck()
{
    if (isOpen())
        return;
    const bool create = !QFile::exists(smsDbPath);
    try {
        if (create) {
            createFromSchema();
        } else {
            openThrow(smsDbPath, Sqlite3DB::ReadWrite);
            if (upgrade)
                upgradeColumns();
        }
        registerFunctions();
        cacheTableSql();
        emptySyncTables();
    } catch (...) {
        // A half-opened file would skip these steps for the object's whole life.
        close();
        if (create)
            QFile::remove(smsDbPath);
        throw;
    }
}

void IOS6MessageDb::createFromSchema()
{
    g_mkPrivatePath(QFileInfo(smsDbPath).absolutePath());
    try {
        createFromScriptFileThrow(smsDbPath, QStringLiteral(":res/localmsgdb_ddl.sql"));
    } catch (const Sqlite3Error& e) {
        throw std::runtime_error(std::string("create IOS6MessageDb error. ") + e.what());
    }
}

void IOS6MessageDb::upgradeColumns()
{
    QHash<QString, QSet<QString>> present;
    for (const char* table : {"chat", "message"})
        present.insert(table, lowerColumnNames(*this, table));
    auto run = [this](const UpgradeStep& step) {
        QString error;
        if (exec(QString::fromLatin1(step.sql), error) != 0)
            throw std::runtime_error(
                QStringLiteral("line:%1, sql:%2, error:%3").arg(QString::number(step.number), step.sql, error).toStdString());
    };
    for (const UpgradeStep& step : kUpgradeSteps) {
        if (present.value(step.table).contains(QLatin1String(step.column)))
            continue;
        run(step);
        if (qstrcmp(step.column, kLogicHashIndex.column) == 0)
            run(kLogicHashIndex);
    }
}

void IOS6MessageDb::registerFunctions()
{
    // The device's triggers call these on attachment deletion; they only need to exist.
    const auto nothing = [](const QVariantList&) { return QVariant(0); };
    registerScalarFunctionThrow("delete_attachment_path", 1, nothing);
    registerScalarFunctionThrow("before_delete_attachment_path", 2, nothing);
}

void IOS6MessageDb::cacheTableSql()
{
    m_writePlan.ready = false; // worked out again from these statements
    Sqlite3Cursor c = queryThrow("select * from sqlite_master where type='table'");
    while (c.moveNext())
        tableSql.insert(c.getText(QStringLiteral("name")), c.getText(QStringLiteral("sql")));
}

void IOS6MessageDb::emptySyncTables()
{
    for (const char* table : kSyncTables)
        if (tableSql.contains(QLatin1String(table)))
            executeThrow(QStringLiteral("delete from %1").arg(QLatin1String(table)));
}

bool IOS6MessageDb::tableSqlHas(const QString& table, const char* text, Qt::CaseSensitivity cs) const
{
    return tableSql.value(table).contains(QLatin1String(text), cs);
}

bool IOS6MessageDb::isNanosecondTable() const
{
    return tableSqlHas(QStringLiteral("message"), "ck_record_id", Qt::CaseInsensitive);
}

bool IOS6MessageDb::isItemTypeEnabled() const
{
    return tableSqlHas(QStringLiteral("message"), "item_type");
}

void IOS6MessageDb::execute(const Sqlite3Sql& sql)
{
    openCheck();
    executeThrow(sql);
}

void IOS6MessageDb::rethrowNamingFile(const Sqlite3Error& e) const
{
    const std::string file = smsDbPath.toStdString();
    if (std::string(e.what()).find(file) != std::string::npos)
        throw e;
    throw Sqlite3Error(e.code(), std::string(e.what()) + " (" + file + ")");
}
