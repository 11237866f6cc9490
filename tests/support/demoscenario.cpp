#include "demoscenario.h"

#include <QFile>
#include <QRegularExpression>

#include <plist/plist.h>

#include <cstdlib>

namespace demoscenario {

QString readmeBackupPassword(const QString& readmePath)
{
    QFile readme(readmePath);
    if (!readme.open(QIODevice::ReadOnly))
        return QString();
    const QRegularExpression stated(QStringLiteral("backup password is `([^`]+)`"));
    return stated.match(QString::fromUtf8(readme.readAll())).captured(1);
}

QStringList deviceIds(const QString& scenarioPath)
{
    QFile file(scenarioPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray xml = file.readAll();
    plist_t root = nullptr;
    plist_from_xml(xml.constData(), uint32_t(xml.size()), &root);
    QStringList ids;
    plist_t devices = root ? plist_dict_get_item(root, "Devices") : nullptr;
    for (uint32_t i = 0; devices && i < plist_array_get_size(devices); ++i) {
        char* id = nullptr;
        plist_get_string_val(plist_dict_get_item(plist_array_get_item(devices, i), "UniqueDeviceID"), &id);
        ids << QString::fromUtf8(id ? id : "");
        std::free(id);
    }
    plist_free(root);
    return ids;
}

} // namespace demoscenario
