// Base of the application's long-lived databases: opens on first use through
// openCheck(), holds at most one pending edit transaction, and offers generic
// row reads and inserts.
#pragma once

#include <QList>
#include <QSet>
#include <QString>

#include "sqlitedb.h"

class AbsDb : public Sqlite3DB
{
public:
    AbsDb() = default;
    ~AbsDb() override = default;

    // Opens (and, where a subclass says so, creates or upgrades) the file when
    // closed; does nothing when open. Throws on failure.
    virtual void openCheck() = 0;

    void beginEdit();
    // Commits or rolls back the pending edit; without one it does nothing.
    void endEdit(bool commit);
    QList<Sqlite3Row> tableRows(const QString& table);
    // Inserts the row's columns but those in `leaveOut`; returns the new row id.
    qint64 insertSqlRow(const Sqlite3Row& row, const QString& table, const QSet<QString>& leaveOut);
    // Closing discards a pending edit, so it no longer counts as pending.
    void close() override;

    bool inTransaction = false;
};
