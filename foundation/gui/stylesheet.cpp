#include "stylesheet.h"

#include <QFile>

namespace {
QString g_styleSheet;
}

QString getStyleSheet()
{
    if (g_styleSheet.isEmpty()) {
        QFile file(QStringLiteral(":style.css"));
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            const qsizetype nul = bytes.indexOf('\0');
            g_styleSheet = QString::fromLatin1(nul < 0 ? bytes : bytes.left(nul));
        }
    }
    return g_styleSheet;
}
