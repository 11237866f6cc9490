#include "stylesheet.h"

#include "uptonul.h"

#include <QFile>

namespace {
QString g_styleSheet;
}

QString getStyleSheet()
{
    if (g_styleSheet.isEmpty()) {
        QFile file(QStringLiteral(":style.css"));
        if (file.open(QIODevice::ReadOnly)) {
            g_styleSheet = QString::fromLatin1(upToFirstNul(file.readAll()));
        }
    }
    return g_styleSheet;
}
