#include "translation.h"

#include <QCoreApplication>
#include <QTranslator>

bool installEnglishTranslation(QCoreApplication* app)
{
    auto* translator = new QTranslator(app);
    if (!translator->load(QStringLiteral(":/en.qm"))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
