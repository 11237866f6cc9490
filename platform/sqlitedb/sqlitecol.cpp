#include "sqlitecol.h"

// SQLite's affinity rules (section 3.1 of its datatype documentation), in order:
// INT -> integer; CHAR/CLOB/TEXT -> text; BLOB or no type -> blob;
// REAL/FLOA/DOUB -> real; anything else -> numeric. STRING falls to numeric there,
// but every schema we meet uses it for text, so it counts as text here.
namespace {
QString upper(const QString& t) { return t.toUpper(); }
}

bool _SqliteCol::isInteger() const
{
    return upper(type).contains(QLatin1String("INT"));
}

bool _SqliteCol::isText() const
{
    const QString t = upper(type);
    if (isInteger())
        return false;
    return t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB"))
        || t.contains(QLatin1String("TEXT")) || t.contains(QLatin1String("STRING"));
}

bool _SqliteCol::isBlob() const
{
    const QString t = upper(type).trimmed();
    return !isInteger() && !isText() && (t.isEmpty() || t.contains(QLatin1String("BLOB")));
}

bool _SqliteCol::isReal() const
{
    const QString t = upper(type);
    return !isInteger() && !isText() && !isBlob()
        && (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) || t.contains(QLatin1String("DOUB")));
}

bool _SqliteCol::isNumeric() const
{
    return !isInteger() && !isText() && !isBlob() && !isReal();
}
