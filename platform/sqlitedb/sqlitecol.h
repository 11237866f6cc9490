// One column of a table as SQLite's table_info reports it.
#pragma once

#include <QString>

struct _SqliteCol
{
    QString name;
    QString type;       // declared type, as written in the CREATE statement
    bool notNull = false;
    bool hasDefault = false;
    bool primaryKey = false;

    _SqliteCol() = default;
    _SqliteCol(const QString& name, const QString& type, bool notNull, bool hasDefault, bool primaryKey)
        : name(name), type(type), notNull(notNull), hasDefault(hasDefault), primaryKey(primaryKey) {}

    // Classify the declared type by SQLite's own affinity rules.
    bool isInteger() const;
    bool isText() const;
    bool isBlob() const;
    bool isReal() const;
    bool isNumeric() const;
};
