#include "localdbmigration.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

#include "countryinfo.h"
#include "exportmessagesdb.h"
#include "olderlocaldb.h"
#include "progressreporter.h"

namespace {

const QString kTemporarySuffix = QStringLiteral("__tmp");

QString translated(const char* text)
{
    return QCoreApplication::translate("LocalDbUpdateThread", text);
}

bool isTemporary(const QString& name)
{
    return QFileInfo(name).suffix().compare(kTemporarySuffix, Qt::CaseInsensitive) == 0;
}

} // namespace

LocalDbMigration::LocalDbMigration(const QDir& folder)
    : removeFile([](const QString& path) { return QFile::remove(path) || !QFileInfo::exists(path); })
    , m_folder(folder)
{
}

QStringList LocalDbMigration::pendingFiles(const QDir& folder)
{
    return folder.entryList(QDir::Files, QDir::Name);
}

QString LocalDbMigration::targetFolder(const QString& temporaryPath)
{
    const QFileInfo info(temporaryPath);
    const QString name = info.fileName();
    return info.absoluteDir().absoluteFilePath(name.left(name.lastIndexOf(QLatin1Char('.'))));
}

QStringList LocalDbMigration::run(ProgressReporter& progress)
{
    QStringList leftBehind;
    for (const QString& name : pendingFiles(m_folder)) {
        progress.reportProgress(translated("IDS_UPDATING_LOCALDB_%1").arg(name), 0, QString());
        const QString path = m_folder.absoluteFilePath(name);
        QString temporary = path;
        if (!isTemporary(name)) {
            temporary = path + QLatin1Char('.') + kTemporarySuffix;
            // QFile::rename never replaces a file that is there.
            if (!QFile::rename(path, temporary))
                throw std::runtime_error(QStringLiteral("can not rename %1.").arg(path).toStdString());
        }
        migrate(temporary, progress);
        if (!removeFile(temporary))
            leftBehind.append(temporary);
    }
    for (const QString& path : sweepTemporaryFiles())
        if (!leftBehind.contains(path))
            leftBehind.append(path);
    return leftBehind;
}

void LocalDbMigration::migrate(const QString& temporaryPath, ProgressReporter& progress)
{
    const QString target = targetFolder(temporaryPath);
    // Hidden files are not listed, so a name never comes down to nothing;
    // checked all the same, as the folder would be this one or its parent.
    const QString targetName = QFileInfo(target).fileName();
    if (targetName.isEmpty() || targetName.startsWith(QLatin1Char('.')))
        throw std::runtime_error(QStringLiteral("can not update %1: its name gives no folder.")
                                     .arg(temporaryPath)
                                     .toStdString());
    OlderLocalDb older(temporaryPath);
    ExportMessagesDb writer{QDir(target), _CountryInfo()};
    try {
        older.open();
        writer.init();
        older.queryRows();
        const int total = older.count();
        OlderLocalDbMessage row;
        for (int i = 1; older.next(row); ++i) {
            progress.reportProgress(QString(), int(double(i) / double(total) * 100.0),
                                    translated("SMS: %1/%2").arg(i).arg(total));
            writer.write(row.message);
        }
        writer.uninit();
    } catch (...) {
        // Nothing of this file stays in the database.
        writer.abandon();
        throw;
    }
    older.close();
}

QStringList LocalDbMigration::sweepTemporaryFiles()
{
    QStringList left;
    const QStringList names =
        m_folder.entryList({QStringLiteral("*.") + kTemporarySuffix}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        const QString path = m_folder.absoluteFilePath(name);
        if (!removeFile(path))
            left.append(path);
    }
    return left;
}
