#include "carvecolumn.h"

quint8 CarveLayout::typeClasses(const _SqliteCol& col)
{
    if (col.isInteger())
        return Integer;
    if (col.isText())
        return col.type.contains(QLatin1String("STRING"), Qt::CaseInsensitive) ? quint8(Text | Integer | Real) : quint8(Text);
    if (col.isBlob())
        return Blob;
    if (col.isReal())
        return Real | Integer; // whole numbers of a REAL column are stored as integers
    return Integer | Real;
}

CarveLayout CarveLayout::fromColumns(const QList<_SqliteCol>& cols)
{
    CarveLayout l;
    l.columns = cols.size();
    l.accept.resize(cols.size());
    for (int i = 0; i < cols.size(); ++i) {
        const _SqliteCol& c = cols.at(i);
        l.accept[i] = typeClasses(c);
        if (!c.notNull && !c.hasDefault && !c.primaryKey)
            l.accept[i] |= Null;
    }
    return l;
}
