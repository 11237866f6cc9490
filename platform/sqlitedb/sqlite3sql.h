// SQL text with positional "?" parameters, bound in the order they are added.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

class Sqlite3Sql
{
public:
    Sqlite3Sql() = default;
    Sqlite3Sql(const char* sql) : m_sql(QString::fromUtf8(sql)) {}
    Sqlite3Sql(const QString& sql) : m_sql(sql) {}

    // An empty QString binds as '' (never NULL), an empty QByteArray as an empty blob.
    Sqlite3Sql& addTextParam(const QString& value);
    Sqlite3Sql& addIntParam(int value);
    Sqlite3Sql& addInt64Param(qint64 value);
    Sqlite3Sql& addBlobParam(const QByteArray& value);
    Sqlite3Sql& addDoubleParam(double value);
    Sqlite3Sql& addNullParam();
    // Binds a QVariant by its type: bytes as blob, integers as integer, reals
    // as real, an invalid variant as NULL, anything else as text.
    Sqlite3Sql& addVariantParam(const QVariant& value);
    Sqlite3Sql& appendSql(const QString& sql);
    // Replaces the text and keeps the values bound so far.
    void setSql(const QString& sql) { m_sql = sql; }

    const QString& sql() const { return m_sql; }

    enum class Kind { Text, Int64, Blob, Double, Null };
    struct Param
    {
        Kind kind;
        QVariant value;
    };
    const QList<Param>& params() const { return m_params; }

private:
    QString m_sql;
    QList<Param> m_params;
};
