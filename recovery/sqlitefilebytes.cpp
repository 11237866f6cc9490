#include "sqlitefilebytes.h"

int sqlitefile_varint_lengh(const long long& v)
{
    const quint64 u = static_cast<quint64>(v);
    int len = 1;
    for (quint64 limit = quint64(1) << 7; len < 9 && u >= limit; limit <<= 7)
        ++len;
    return len;
}

QByteArray sqlitefile_bytearr(int n, const char* p, const char* end)
{
    if (n <= 0 || !end || !p || p >= end)
        return QByteArray();
    return QByteArray(p, int(qMin<qint64>(n, end - p)));
}
