#include "exporttarget.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <iterator>
#include <stdexcept>

namespace {

// One file type of the save dialog: its filter, the format it writes, and
// the extension added to a file's name or the tail of the output folder.
struct FileType
{
    const char* filter;
    ExportFormat format;
    const char* ending;
    bool folder;
};

const FileType kFileTypes[] = {
    {QT_TRANSLATE_NOOP("MainWindow", "Text Files(*.txt)"), ExportFormat::Text, ".txt", false},
    {QT_TRANSLATE_NOOP("MainWindow", "Doc Files(*.doc)"), ExportFormat::Text, ".doc", false},
    {QT_TRANSLATE_NOOP("MainWindow", "CSV Files(*.csv)"), ExportFormat::Csv, ".csv", false},
    {QT_TRANSLATE_NOOP("MainWindow", "PDF Files(*.pdf)"), ExportFormat::Pdf, "-pdf", true},
    {QT_TRANSLATE_NOOP("MainWindow", "HTML Files(*.html)"), ExportFormat::Html, "-html", true},
};

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

QStringList ExportTarget::fileTypeFilters()
{
    QStringList filters;
    for (const FileType& type : kFileTypes)
        filters << QCoreApplication::translate("MainWindow", type.filter);
    return filters;
}

ExportTarget ExportTarget::fromChoice(const QString& chosenFile, int fileType)
{
    if (fileType < 0 || fileType >= int(std::size(kFileTypes)))
        throw std::runtime_error("unknown export format.");
    const FileType& type = kFileTypes[fileType];
    return {type.format, type.folder ? folderPath(chosenFile, type.ending) : withExtension(chosenFile, type.ending)};
}
