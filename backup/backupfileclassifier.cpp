#include "backupfileclassifier.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {
using Node = BackupManifest::_FileNode;

QRegularExpression pattern(const char* text)
{
    return QRegularExpression(QString::fromLatin1(text), QRegularExpression::CaseInsensitiveOption);
}

bool equalsNoCase(const QString& a, const char* b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

bool isOneOf(const QString& extension, const char* a, const char* b)
{
    const QString lower = extension.toLower();
    return lower == QLatin1String(a) || lower == QLatin1String(b);
}

void classifyCameraRoll(BackupManifest& backup, const QString& path, const Node* node)
{
    static const QRegularExpression media = pattern("^Media/DCIM/\\d+APPLE/[^/\\.]+(\\.[^/\\.]+)");
    static const QRegularExpression metaThumb = pattern("^Media/PhotoData/MetaData/DCIM/\\d+APPLE/([^/\\.]+)(\\.[^/\\.]+)");
    static const QRegularExpression thumb = pattern("^Media/DCIM/\\.THMB/[^/]+/\\d+APPLE___([^/\\.]+)(\\.[^/\\.]+)");
    const QRegularExpressionMatch m = media.match(path);
    if (m.hasMatch()) {
        const QString ext = m.captured(1).toLower();
        if (ext == QLatin1String(".mov"))
            backup.cameraRollVideos.append(node);
        else if (isOneOf(ext, ".jpg", ".png"))
            backup.cameraRollPhotos.append(node);
        return;
    }
    const QRegularExpressionMatch meta = metaThumb.match(path);
    if (meta.hasMatch() && equalsNoCase(meta.captured(2), ".thm")) {
        backup.cameraRollThumbnails.insert(meta.captured(1), node);
        return;
    }
    const QRegularExpressionMatch t = thumb.match(path);
    if (t.hasMatch() && isOneOf(t.captured(2), ".jpg", ".png"))
        backup.cameraRollThumbnails.insert(t.captured(1), node);
}

struct Slot
{
    const char* path;
    const Node* BackupManifest::*member;
};

void classifyHome(BackupManifest& backup, const QString& path, const Node* node)
{
    static const Slot kSlots[] = {
        {"Library/SMS/sms.db", &BackupManifest::smsDbNode},
        {"Library/AddressBook/AddressBook.sqlitedb", &BackupManifest::addressBookDbNode},
        {"Library/AddressBook/AddressBookImages.sqlitedb", &BackupManifest::addressBookImagesDbNode},
        {"Library/Notes/notes.sqlite", &BackupManifest::notesDbNode},
        {"Library/Calendar/Calendar.sqlitedb", &BackupManifest::calendarDbNode},
        {"Library/Calendar/Extras.db", &BackupManifest::calendarExtrasDbNode},
        {"Library/Voicemail/voicemail.db", &BackupManifest::voicemailDbNode},
        {"Library/Safari/Bookmarks.db", &BackupManifest::safariBookmarksDbNode},
        {"Library/CallHistoryDB/CallHistory.storedata", &BackupManifest::callHistoryStoreNode},
    };
    for (const Slot& slot : kSlots) {
        if (!(backup.*slot.member) && equalsNoCase(path, slot.path)) {
            backup.*slot.member = node;
            return;
        }
    }
    static const QRegularExpression voicemail = pattern("^Library/Voicemail/(\\d+)\\.amr$");
    const QRegularExpressionMatch m = voicemail.match(path);
    if (m.hasMatch())
        backup.voicemails.insert(m.captured(1).toInt(), node);
}

QString baseName(const QString& fileName)
{
    return QFileInfo(fileName).baseName();
}

void classifyMessageFile(BackupManifest& backup, const QString& path, const Node* node)
{
    const QString mobile = QStringLiteral("/var/mobile/");
    const QString preview = QStringLiteral("-preview");
    const qsizetype p = path.lastIndexOf(preview);
    if (p >= 0) {
        backup.smsFiles.insert(mobile + path.left(p) + preview, node);
        const QString fileName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        if (fileName.contains(QLatin1String("-preview-left"), Qt::CaseInsensitive))
            backup.smsFiles.insert(mobile + path.left(p) + QLatin1String("-preview-left"), node);
    } else {
        const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
        backup.smsFiles.insert(mobile + (dot < 0 ? path : path.left(dot)), node);
    }
    static const QRegularExpression parts = pattern("^Library/SMS/Parts/[^/]+/[^/]+/([^/]+)$");
    static const QRegularExpression attachments = pattern("^Library/SMS/Attachments/([^/]+)/([^/]+)$");
    const QRegularExpressionMatch part = parts.match(path);
    if (part.hasMatch()) {
        backup.smsParts.insert(baseName(part.captured(1)), node);
        return;
    }
    const QRegularExpressionMatch att = attachments.match(path);
    if (att.hasMatch())
        backup.smsAttachments.insert(att.captured(1) + QLatin1Char('/') + baseName(att.captured(2)), node);
}

void classifyMedia(BackupManifest& backup, const QString& path, const Node* node)
{
    if (!backup.recordingsDbNode && equalsNoCase(path, "Media/Recordings/Recordings.db")) {
        backup.recordingsDbNode = node;
        return;
    }
    if (path.startsWith(QLatin1String("Library/SMS/"), Qt::CaseInsensitive)) {
        if (!node->isFolder())
            classifyMessageFile(backup, path, node);
        return;
    }
    static const QRegularExpression recording = pattern("^Media/Recordings/([^/.]+\\.m4a)$");
    const QRegularExpressionMatch m = recording.match(path);
    if (m.hasMatch() && !node->isFolder())
        backup.recordings.insert(m.captured(1), node);
}
} // namespace

bool g_classifiesDomain(const QString& domain)
{
    for (const char* known : {"CameraRollDomain", "HomeDomain", "MediaDomain", "WirelessDomain"})
        if (equalsNoCase(domain, known))
            return true;
    return false;
}

void g_classifyBackupFile(BackupManifest& backup, const BackupManifest::_FileNode* node, const QString& domain,
                          const QString& path)
{
    if (equalsNoCase(domain, "CameraRollDomain"))
        classifyCameraRoll(backup, path, node);
    else if (equalsNoCase(domain, "HomeDomain"))
        classifyHome(backup, path, node);
    else if (equalsNoCase(domain, "MediaDomain"))
        classifyMedia(backup, path, node);
    else if (equalsNoCase(domain, "WirelessDomain") && !backup.callHistoryDbNode
             && equalsNoCase(path, "Library/CallHistory/call_history.db"))
        backup.callHistoryDbNode = node;
}
