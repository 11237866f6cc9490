// The journal, a text file in the backup folder:
//
//   LINE   MEANING
//   1      "qsmerge 1"
//   2...   staged name TAB target name, both relative to the backup folder
//
// It is read back only by recoverThrow. Being a file of the backup folder it
// is not trusted: every name must stay inside the folder.
#include "backupwritetransaction.h"

#include "pathguard.h"
#include "privatemode.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace {

const char kJournalName[] = "Manifest.qsmerge-journal";
const char kJournalHeader[] = "qsmerge 1";
const char kStagedSuffix[] = ".qsmerge-new";
// A journal lists one line per changed file: far fewer than this many bytes.
const qint64 kMaxJournalSize = 64 * 1024 * 1024;

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().constData());
}

QString trTransaction(const char* text)
{
    return QCoreApplication::translate("BackupWriteTransaction", text);
}

// The path of `name` inside `dir`, or empty when it would leave the folder.
QString insideFolder(const QDir& dir, const QString& name)
{
    return g_pathInside(dir, name);
}

void syncFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail(trTransaction("can not open %1.").arg(path));
    const int rc = ::fsync(fd);
    ::close(fd);
    if (rc != 0)
        fail(trTransaction("can not write %1.").arg(path));
}

void renameOver(const QString& staged, const QString& target)
{
    if (::rename(QFile::encodeName(staged).constData(), QFile::encodeName(target).constData()) != 0)
        fail(QCoreApplication::translate("IOSMergeWAFiles2iTunesBKThread", "can not overwrite %1").arg(target));
}

QList<QPair<QString, QString>> readJournal(const QDir& dir, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(trTransaction("can not open %1. %2").arg(path, file.errorString()));
    if (file.size() > kMaxJournalSize)
        fail(trTransaction("The unfinished change %1 of this backup is damaged.").arg(path));
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.isEmpty() || lines.first() != kJournalHeader)
        fail(trTransaction("The unfinished change %1 of this backup is damaged.").arg(path));
    QList<QPair<QString, QString>> renames;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty())
            continue;
        const QList<QByteArray> fields = lines.at(i).split('\t');
        const QString staged = fields.size() == 2 ? insideFolder(dir, QString::fromUtf8(fields.at(0))) : QString();
        const QString target = fields.size() == 2 ? insideFolder(dir, QString::fromUtf8(fields.at(1))) : QString();
        if (staged.isEmpty() || target.isEmpty())
            fail(trTransaction("The unfinished change %1 of this backup is damaged.").arg(path));
        renames.append({staged, target});
    }
    return renames;
}

void applyRenames(const QList<QPair<QString, QString>>& renames, const std::function<void()>& beforeEach)
{
    for (const auto& rename : renames) {
        if (beforeEach)
            beforeEach();
        if (QFileInfo::exists(rename.first))
            renameOver(rename.first, rename.second);
    }
}

} // namespace

BackupWriteTransaction::BackupWriteTransaction(const QDir& backupDir, StepHook hook)
    : m_dir(backupDir), m_hook(std::move(hook))
{
}

BackupWriteTransaction::~BackupWriteTransaction()
{
    if (!m_journalWritten)
        rollback();
    // Files outside the backup are in no journal: an interrupted commit
    // leaves them to nobody.
    for (const auto& pair : qAsConst(m_stagedOutside))
        QFile::remove(pair.first);
}

QString BackupWriteTransaction::journalPath(const QDir& backupDir)
{
    return backupDir.absoluteFilePath(QLatin1String(kJournalName));
}

QString BackupWriteTransaction::stage(const QString& target)
{
    Q_ASSERT(!insideFolder(m_dir, m_dir.relativeFilePath(QFileInfo(target).absoluteFilePath())).isEmpty());
    return stageIn(m_staged, target);
}

QString BackupWriteTransaction::stageOutside(const QString& target)
{
    return stageIn(m_stagedOutside, target);
}

QString BackupWriteTransaction::stageIn(QList<QPair<QString, QString>>& list, const QString& target)
{
    const QString absolute = QFileInfo(target).absoluteFilePath();
    const QString staged = absolute + QLatin1String(kStagedSuffix);
    QFile::remove(staged);
    for (const auto& pair : qAsConst(list))
        if (pair.second == absolute)
            return staged;
    list.append({staged, absolute});
    return staged;
}

void BackupWriteTransaction::step(const QString& name) const
{
    if (m_hook)
        m_hook(name);
}

void BackupWriteTransaction::rollback()
{
    for (const auto& pair : qAsConst(m_staged))
        QFile::remove(pair.first);
    m_staged.clear();
    for (const auto& pair : qAsConst(m_stagedOutside))
        QFile::remove(pair.first);
    m_stagedOutside.clear();
}

void BackupWriteTransaction::commitThrow()
{
    for (const auto& pair : qAsConst(m_staged)) {
        step(QStringLiteral("sync"));
        syncFile(pair.first);
    }
    step(QStringLiteral("journal"));
    const QString journal = journalPath(m_dir);
    QSaveFile file(journal);
    QByteArray text = QByteArray(kJournalHeader) + '\n';
    for (const auto& pair : qAsConst(m_staged))
        text += m_dir.relativeFilePath(pair.first).toUtf8() + '\t' + m_dir.relativeFilePath(pair.second).toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly) || !g_makePrivate(file) || file.write(text) != text.size()
        || !file.commit())
        fail(trTransaction("can not write %1. %2").arg(journal, file.errorString()));
    m_journalWritten = true;
    applyRenames(m_staged, [this] { step(QStringLiteral("rename")); });
    step(QStringLiteral("finish"));
    QFile::remove(journal);
    m_staged.clear();
    applyRenames(m_stagedOutside, nullptr);
    m_stagedOutside.clear();
}

void BackupWriteTransaction::recoverThrow(const QDir& backupDir)
{
    const QString journal = journalPath(backupDir);
    if (!QFileInfo::exists(journal))
        return;
    applyRenames(readJournal(backupDir, journal), nullptr);
    QFile::remove(journal);
}
