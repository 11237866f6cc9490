#include "sqlite3insert.h"

#include "sqlite3row.h"

QString sqlInsertText(const QString& table, const QStringList& quotedColumns)
{
    QString sql = QStringLiteral("insert into %1 ").arg(sqlQuoteIdentifier(table));
    if (quotedColumns.isEmpty())
        return sql + QStringLiteral("default values");
    QStringList marks;
    marks.fill(QStringLiteral("?"), quotedColumns.size());
    return sql + QStringLiteral("(%1) values (%2)").arg(quotedColumns.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
}

int Sqlite3Insert::addColumn(const QString& name)
{
    Q_ASSERT(m_quoted.size() < 64);
    m_quoted.append(sqlQuoteIdentifier(name));
    m_texts.clear();
    return int(m_quoted.size()) - 1;
}

bool Sqlite3Insert::take(int column)
{
    if (column < 0)
        return false;
    Q_ASSERT(column < m_quoted.size() && column > m_last);
    m_present |= quint64(1) << column;
    m_last = column;
    return true;
}

Sqlite3Insert& Sqlite3Insert::setText(int column, const QString& value)
{
    if (take(column))
        m_row.addTextParam(value);
    return *this;
}

Sqlite3Insert& Sqlite3Insert::setInt64(int column, qint64 value)
{
    if (take(column))
        m_row.addInt64Param(value);
    return *this;
}

Sqlite3Insert& Sqlite3Insert::setBlob(int column, const QByteArray& value)
{
    if (take(column))
        m_row.addBlobParam(value);
    return *this;
}

Sqlite3Sql Sqlite3Insert::takeRow()
{
    auto text = m_texts.find(m_present);
    if (text == m_texts.end()) {
        QStringList columns;
        for (int i = 0; i < m_quoted.size(); ++i)
            if (m_present & (quint64(1) << i))
                columns.append(m_quoted.at(i));
        text = m_texts.insert(m_present, sqlInsertText(m_table, columns));
    }
    Sqlite3Sql row = std::move(m_row);
    row.setSql(*text);
    newRow();
    return row;
}

Sqlite3Insert& Sqlite3Insert::newRow()
{
    m_row = Sqlite3Sql();
    m_present = 0;
    m_last = -1;
    return *this;
}
