#include "exporttarget.h"

#include "messageexporter.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace {

// The suffix is what follows the name's last dot; the base name what
// precedes its first.
QString withExtension(const QString& chosen, const char* extension)
{
    return QFileInfo(chosen).suffix().isEmpty() ? chosen + QLatin1String(extension) : chosen;
}

QString folderPath(const QString& chosen, const char* tail)
{
    const QFileInfo info(chosen);
    const QString stem = info.suffix().isEmpty() ? chosen : info.dir().filePath(info.baseName());
    return stem + QLatin1String(tail);
}

} // namespace

ExportTarget ExportTarget::fromChoice(const QString& chosenFile, int fileType)
{
    switch (fileType) {
    case TextFile:
        return {MessageExporter::Text, withExtension(chosenFile, ".txt")};
    case DocFile:
        return {MessageExporter::Text, withExtension(chosenFile, ".doc")};
    case CsvFile:
        return {MessageExporter::Csv, withExtension(chosenFile, ".csv")};
    case PdfFile:
        return {MessageExporter::Pdf, folderPath(chosenFile, "-pdf")};
    case HtmlFile:
        return {MessageExporter::Html, folderPath(chosenFile, "-html")};
    default:
        throw std::runtime_error("unknown export format.");
    }
}
