#include "backupfileclassifier.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <climits>

namespace {
using Node = BackupManifest::_FileNode;

const char kCallHistoryDb[] = "Library/CallHistory/call_history.db";
const char kRecordingsDb[] = "Media/Recordings/Recordings.db";
const char kMessageFolder[] = "Library/SMS/";

struct Slot
{
    const char* path;
    const Node* BackupManifest::*member;
};

// The HomeDomain files that fill a slot each, first node first.
const Slot kHomeSlots[] = {
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

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// ---- Paths as decoded text, matched by the patterns themselves ----

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

void classifyHome(BackupManifest& backup, const QString& path, const Node* node)
{
    for (const Slot& slot : kHomeSlots) {
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
    if (!backup.recordingsDbNode && equalsNoCase(path, kRecordingsDb)) {
        backup.recordingsDbNode = node;
        return;
    }
    if (path.startsWith(QLatin1String(kMessageFolder), Qt::CaseInsensitive)) {
        if (!node->isFolder())
            classifyMessageFile(backup, path, node);
        return;
    }
    static const QRegularExpression recording = pattern("^Media/Recordings/([^/.]+\\.m4a)$");
    const QRegularExpressionMatch m = recording.match(path);
    if (m.hasMatch() && !node->isFolder())
        backup.recordings.insert(m.captured(1), node);
}

// ---- ASCII paths, matched byte by byte ----
//
// The same patterns written out: a letter matches either case; "\\d+" is one
// or more of 0-9; a run "[^/.]+" takes every byte up to the next "/" or "."
// (nothing can give any back, since what follows it is "/" or "."); "$" is
// the end or a newline that ends the path.

class AsciiPath
{
public:
    explicit AsciiPath(QByteArrayView path) : m_path(path) {}

    // Both sides are ASCII here, where Qt's case folding is that of A-Z alone.
    static bool equalsNoCase(QByteArrayView a, QByteArrayView b)
    {
        return a.size() == b.size() && a.compare(b, Qt::CaseInsensitive) == 0;
    }

    static bool startsWithNoCase(QByteArrayView text, QByteArrayView prefix)
    {
        return text.size() >= prefix.size() && equalsNoCase(text.first(prefix.size()), prefix);
    }

    static bool containsNoCase(QByteArrayView text, QByteArrayView part)
    {
        for (qsizetype i = 0; i + part.size() <= text.size(); ++i) {
            if (equalsNoCase(text.sliced(i, part.size()), part))
                return true;
        }
        return false;
    }

    // Takes `text` (any case) when the path goes on with it.
    bool take(QByteArrayView text)
    {
        if (!startsWithNoCase(rest(), text))
            return false;
        m_at += text.size();
        return true;
    }

    bool takeDigits()
    {
        const qsizetype start = m_at;
        while (m_at < m_path.size() && m_path[m_at] >= '0' && m_path[m_at] <= '9')
            ++m_at;
        return m_at > start;
    }

    // The longest run of bytes none of which is in `stops`; empty when the
    // next byte is one.
    QByteArrayView takeRunBefore(QByteArrayView stops)
    {
        const qsizetype start = m_at;
        while (m_at < m_path.size() && !stops.contains(m_path[m_at]))
            ++m_at;
        return m_path.sliced(start, m_at - start);
    }

    // "(\\.[^/\\.]+)": a dot and a run after it, or empty.
    QByteArrayView takeExtension()
    {
        const qsizetype start = m_at;
        if (!take(".") || takeRunBefore("/.").isEmpty()) {
            m_at = start;
            return {};
        }
        return m_path.sliced(start, m_at - start);
    }

    bool atEnd() const
    {
        return m_at == m_path.size() || (m_at + 1 == m_path.size() && m_path[m_at] == '\n');
    }

    QByteArrayView rest() const { return m_path.sliced(m_at); }
    QByteArrayView path() const { return m_path; }

private:
    QByteArrayView m_path;
    qsizetype m_at = 0;
};

QString text(QByteArrayView ascii)
{
    return QString::fromLatin1(ascii.data(), ascii.size());
}

bool isOneOfNoCase(QByteArrayView extension, const char* a, const char* b)
{
    return AsciiPath::equalsNoCase(extension, a) || AsciiPath::equalsNoCase(extension, b);
}

void classifyCameraRollAscii(BackupManifest& backup, QByteArrayView path, const Node* node)
{
    // ^Media/DCIM/\d+APPLE/[^/\.]+(\.[^/\.]+)
    AsciiPath media(path);
    if (media.take("Media/DCIM/") && media.takeDigits() && media.take("APPLE/")
        && !media.takeRunBefore("/.").isEmpty()) {
        const QByteArrayView ext = media.takeExtension();
        if (!ext.isEmpty()) {
            if (AsciiPath::equalsNoCase(ext, ".mov"))
                backup.cameraRollVideos.append(node);
            else if (isOneOfNoCase(ext, ".jpg", ".png"))
                backup.cameraRollPhotos.append(node);
            return;
        }
    }
    // ^Media/PhotoData/MetaData/DCIM/\d+APPLE/([^/\.]+)(\.[^/\.]+)
    AsciiPath meta(path);
    if (meta.take("Media/PhotoData/MetaData/DCIM/") && meta.takeDigits() && meta.take("APPLE/")) {
        const QByteArrayView name = meta.takeRunBefore("/.");
        if (!name.isEmpty() && AsciiPath::equalsNoCase(meta.takeExtension(), ".thm")) {
            backup.cameraRollThumbnails.insert(text(name), node);
            return;
        }
    }
    // ^Media/DCIM/\.THMB/[^/]+/\d+APPLE___([^/\.]+)(\.[^/\.]+)
    AsciiPath thumb(path);
    if (thumb.take("Media/DCIM/.THMB/") && !thumb.takeRunBefore("/").isEmpty() && thumb.take("/")
        && thumb.takeDigits() && thumb.take("APPLE___")) {
        const QByteArrayView name = thumb.takeRunBefore("/.");
        if (!name.isEmpty() && isOneOfNoCase(thumb.takeExtension(), ".jpg", ".png"))
            backup.cameraRollThumbnails.insert(text(name), node);
    }
}

// The decimal number as QString::toInt reads it: 0 when it does not fit.
int decimal(QByteArrayView digits)
{
    qint64 value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > INT_MAX)
            return 0;
    }
    return int(value);
}

void classifyHomeAscii(BackupManifest& backup, QByteArrayView path, const Node* node)
{
    for (const Slot& slot : kHomeSlots) {
        if (!(backup.*slot.member) && AsciiPath::equalsNoCase(path, slot.path)) {
            backup.*slot.member = node;
            return;
        }
    }
    // ^Library/Voicemail/(\d+)\.amr$
    AsciiPath voicemail(path);
    if (!voicemail.take("Library/Voicemail/"))
        return;
    const QByteArrayView number = voicemail.rest();
    if (voicemail.takeDigits() && voicemail.take(".amr") && voicemail.atEnd())
        backup.voicemails.insert(decimal(number.first(number.size() - voicemail.rest().size() - 4)), node);
}

// QFileInfo::baseName of a name without "/": its text before the first ".".
QString baseNameOf(QByteArrayView fileName)
{
    const qsizetype dot = fileName.indexOf('.');
    return text(dot < 0 ? fileName : fileName.first(dot));
}

void classifyMessageFileAscii(BackupManifest& backup, QByteArrayView path, const Node* node)
{
    const QLatin1String mobile("/var/mobile/");
    const qsizetype p = path.lastIndexOf(QByteArrayView("-preview"));
    if (p >= 0) {
        const QString head = mobile + text(path.first(p));
        backup.smsFiles.insert(head + QLatin1String("-preview"), node);
        const QByteArrayView fileName = path.sliced(path.lastIndexOf('/') + 1);
        if (AsciiPath::containsNoCase(fileName, "-preview-left"))
            backup.smsFiles.insert(head + QLatin1String("-preview-left"), node);
    } else {
        const qsizetype dot = path.lastIndexOf('.');
        backup.smsFiles.insert(mobile + text(dot < 0 ? path : path.first(dot)), node);
    }
    // ^Library/SMS/Parts/[^/]+/[^/]+/([^/]+)$ (a run "[^/]+" that ends the
    // path takes a final newline too)
    AsciiPath parts(path);
    if (parts.take("Library/SMS/Parts/") && !parts.takeRunBefore("/").isEmpty() && parts.take("/")
        && !parts.takeRunBefore("/").isEmpty() && parts.take("/")) {
        const QByteArrayView name = parts.takeRunBefore("/");
        if (!name.isEmpty() && parts.rest().isEmpty()) {
            backup.smsParts.insert(baseNameOf(name), node);
            return;
        }
    }
    // ^Library/SMS/Attachments/([^/]+)/([^/]+)$
    AsciiPath attachments(path);
    if (!attachments.take("Library/SMS/Attachments/"))
        return;
    const QByteArrayView folder = attachments.takeRunBefore("/");
    if (folder.isEmpty() || !attachments.take("/"))
        return;
    const QByteArrayView name = attachments.takeRunBefore("/");
    if (!name.isEmpty() && attachments.rest().isEmpty())
        backup.smsAttachments.insert(text(folder) + QLatin1Char('/') + baseNameOf(name), node);
}

void classifyMediaAscii(BackupManifest& backup, QByteArrayView path, const Node* node)
{
    if (!backup.recordingsDbNode && AsciiPath::equalsNoCase(path, kRecordingsDb)) {
        backup.recordingsDbNode = node;
        return;
    }
    if (AsciiPath::startsWithNoCase(path, kMessageFolder)) {
        if (!node->isFolder())
            classifyMessageFileAscii(backup, path, node);
        return;
    }
    // ^Media/Recordings/([^/.]+\.m4a)$
    AsciiPath recording(path);
    if (!recording.take("Media/Recordings/"))
        return;
    const QByteArrayView name = recording.rest();
    if (!recording.takeRunBefore("/.").isEmpty() && recording.take(".m4a") && recording.atEnd() && !node->isFolder())
        backup.recordings.insert(text(name.first(name.size() - recording.rest().size())), node);
}
void classifyWireless(BackupManifest& backup, const QString& path, const Node* node)
{
    if (!backup.callHistoryDbNode && equalsNoCase(path, kCallHistoryDb))
        backup.callHistoryDbNode = node;
}

void classifyWirelessAscii(BackupManifest& backup, QByteArrayView path, const Node* node)
{
    if (!backup.callHistoryDbNode && AsciiPath::equalsNoCase(path, kCallHistoryDb))
        backup.callHistoryDbNode = node;
}

// The two ways of classifying the paths of one domain.
struct DomainClassifier
{
    void (*text)(BackupManifest&, const QString&, const Node*);
    void (*ascii)(BackupManifest&, QByteArrayView, const Node*);
};

const DomainClassifier* classifierOf(ClassifiedDomain domain)
{
    static const DomainClassifier kCameraRoll{classifyCameraRoll, classifyCameraRollAscii};
    static const DomainClassifier kHome{classifyHome, classifyHomeAscii};
    static const DomainClassifier kMedia{classifyMedia, classifyMediaAscii};
    static const DomainClassifier kWireless{classifyWireless, classifyWirelessAscii};
    switch (domain) {
    case ClassifiedDomain::CameraRoll:
        return &kCameraRoll;
    case ClassifiedDomain::Home:
        return &kHome;
    case ClassifiedDomain::Media:
        return &kMedia;
    case ClassifiedDomain::Wireless:
        return &kWireless;
    case ClassifiedDomain::None:
        break;
    }
    return nullptr;
}
} // namespace

ClassifiedDomain g_classifiedDomain(const QString& domain)
{
    if (equalsNoCase(domain, "CameraRollDomain"))
        return ClassifiedDomain::CameraRoll;
    if (equalsNoCase(domain, "HomeDomain"))
        return ClassifiedDomain::Home;
    if (equalsNoCase(domain, "MediaDomain"))
        return ClassifiedDomain::Media;
    if (equalsNoCase(domain, "WirelessDomain"))
        return ClassifiedDomain::Wireless;
    return ClassifiedDomain::None;
}

void g_classifyBackupFileText(BackupManifest& backup, const BackupManifest::_FileNode* node,
                              ClassifiedDomain domain, const QString& path)
{
    if (const DomainClassifier* classifier = classifierOf(domain))
        classifier->text(backup, path, node);
}

void g_classifyBackupFile(BackupManifest& backup, const BackupManifest::_FileNode* node, ClassifiedDomain domain,
                          QByteArrayView path)
{
    const DomainClassifier* classifier = classifierOf(domain);
    if (!classifier)
        return;
    if (isAscii(path))
        classifier->ascii(backup, path, node);
    else
        classifier->text(backup, QString::fromUtf8(path), node);
}
