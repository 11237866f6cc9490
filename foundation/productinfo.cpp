#include "productinfo.h"

#include <QObject>

QString g_productTitle()
{
    return QObject::tr(kProductTitle);
}
