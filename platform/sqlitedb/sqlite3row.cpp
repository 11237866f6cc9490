#include "sqlite3row.h"

#include "sqlite3insert.h"

QString sqlQuoteIdentifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QVariant& Sqlite3Row::operator[](const QString& column)
{
    const QString key = column.toLower();
    auto it = m_index.constFind(key);
    if (it != m_index.constEnd())
        return m_values[*it];
    m_index.insert(key, m_names.size());
    m_names.append(column);
    m_values.append(QVariant());
    return m_values.last();
}

QVariant Sqlite3Row::val(const QString& column) const
{
    auto it = m_index.constFind(column.toLower());
    return it == m_index.constEnd() ? QVariant() : m_values.at(*it);
}

bool Sqlite3Row::contains(const QString& column) const
{
    return m_index.contains(column.toLower());
}

void Sqlite3Row::remove(const QString& column)
{
    auto it = m_index.constFind(column.toLower());
    if (it == m_index.constEnd())
        return;
    const int pos = *it;
    m_names.removeAt(pos);
    m_values.removeAt(pos);
    m_index.clear();
    for (int i = 0; i < m_names.size(); ++i)
        m_index.insert(m_names.at(i).toLower(), i);
}

Sqlite3Sql Sqlite3Row::insertSql(const QString& table, const QSet<QString>& leaveOut) const
{
    QSet<QString> skip;
    for (const QString& s : leaveOut)
        skip.insert(s.toLower());

    QStringList cols;
    QList<QVariant> values;
    for (int i = 0; i < m_names.size(); ++i) {
        if (skip.contains(m_names.at(i).toLower()))
            continue;
        cols.append(sqlQuoteIdentifier(m_names.at(i)));
        values.append(m_values.at(i));
    }
    Sqlite3Sql sql(sqlInsertText(table, cols));
    for (const QVariant& v : values)
        sql.addVariantParam(v);
    return sql;
}
