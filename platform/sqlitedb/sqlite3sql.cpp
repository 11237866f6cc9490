#include "sqlite3sql.h"

Sqlite3Sql& Sqlite3Sql::addTextParam(const QString& value)
{
    m_params.append({Kind::Text, value.isNull() ? QString(QLatin1String("")) : value});
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addIntParam(int value)
{
    m_params.append({Kind::Int64, qlonglong(value)});
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addInt64Param(qint64 value)
{
    m_params.append({Kind::Int64, qlonglong(value)});
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addBlobParam(const QByteArray& value)
{
    m_params.append({Kind::Blob, value});
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addDoubleParam(double value)
{
    m_params.append({Kind::Double, value});
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addNullParam()
{
    m_params.append({Kind::Null, QVariant()});
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addVariantParam(const QVariant& value)
{
    if (!value.isValid())
        return addNullParam();
    switch (value.typeId()) {
    case QMetaType::QByteArray:
        return addBlobParam(value.toByteArray());
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return addInt64Param(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return addDoubleParam(value.toDouble());
    default:
        return addTextParam(value.toString());
    }
}

Sqlite3Sql& Sqlite3Sql::appendSql(const QString& sql)
{
    m_sql += sql;
    return *this;
}
