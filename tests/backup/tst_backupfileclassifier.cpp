// The well-known files of a backup: the byte matchers that classify ASCII
// paths must record exactly what the patterns, matched as regular
// expressions over the decoded path, record; near-misses, case, newlines
// that end a path and paths beyond ASCII included.
#include <QtTest>

#include "backupfileclassifier.h"

using Node = BackupManifest::_FileNode;
Q_DECLARE_METATYPE(ClassifiedDomain)

namespace {
const struct
{
    const char* name;
    const Node* BackupManifest::*member;
} kSlots[] = {
    {"smsDb", &BackupManifest::smsDbNode},
    {"addressBookDb", &BackupManifest::addressBookDbNode},
    {"addressBookImagesDb", &BackupManifest::addressBookImagesDbNode},
    {"notesDb", &BackupManifest::notesDbNode},
    {"calendarDb", &BackupManifest::calendarDbNode},
    {"calendarExtrasDb", &BackupManifest::calendarExtrasDbNode},
    {"recordingsDb", &BackupManifest::recordingsDbNode},
    {"voicemailDb", &BackupManifest::voicemailDbNode},
    {"safariBookmarksDb", &BackupManifest::safariBookmarksDbNode},
    {"callHistoryDb", &BackupManifest::callHistoryDbNode},
    {"callHistoryStore", &BackupManifest::callHistoryStoreNode},
};

template <typename Map>
void listKeys(QStringList& out, const char* label, const Map& map)
{
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        out << QStringLiteral("%1=%2").arg(QLatin1String(label)).arg(it.key());
}

// Everything the classifier recorded, as one line.
QString recorded(const BackupManifest& b)
{
    QStringList out;
    for (int i = 0; i < b.cameraRollVideos.size(); ++i)
        out << "video";
    for (int i = 0; i < b.cameraRollPhotos.size(); ++i)
        out << "photo";
    listKeys(out, "thumb", b.cameraRollThumbnails);
    listKeys(out, "part", b.smsParts);
    listKeys(out, "att", b.smsAttachments);
    listKeys(out, "file", b.smsFiles);
    listKeys(out, "rec", b.recordings);
    listKeys(out, "vm", b.voicemails);
    for (const auto& slot : kSlots) {
        if (b.*slot.member)
            out << QLatin1String(slot.name);
    }
    return out.join(QLatin1Char(' '));
}
} // namespace

class TestBackupFileClassifier : public QObject
{
    Q_OBJECT

private slots:
    void domains_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<ClassifiedDomain>("expected");
        QTest::newRow("camera roll") << "CameraRollDomain" << ClassifiedDomain::CameraRoll;
        QTest::newRow("home, other case") << "homedomain" << ClassifiedDomain::Home;
        QTest::newRow("media") << "MEDIADOMAIN" << ClassifiedDomain::Media;
        QTest::newRow("wireless, long s") << QString::fromUtf8("Wirele\u017F\u017FDomain") << ClassifiedDomain::Wireless;
        QTest::newRow("other") << "HomeDomain2" << ClassifiedDomain::None;
        QTest::newRow("empty") << "" << ClassifiedDomain::None;
    }

    void domains()
    {
        QFETCH(QString, domain);
        QFETCH(ClassifiedDomain, expected);
        QCOMPARE(g_classifiedDomain(domain), expected);
    }

    void bytesAgreeWithPatterns_data()
    {
        using D = ClassifiedDomain;
        QTest::addColumn<ClassifiedDomain>("domain");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, D domain, const QString& path, bool folder, const char* expected) {
            QTest::newRow(name) << domain << path << folder << QString::fromUtf8(expected);
        };
        // Camera roll.
        row("movie", D::CameraRoll, "Media/DCIM/100APPLE/IMG_1.MOV", false, "video");
        row("photo, any case", D::CameraRoll, "media/dcim/100apple/IMG_1.jPg", false, "photo");
        row("png, longer path", D::CameraRoll, "Media/DCIM/1APPLE/a.png.x/y", false, "photo");
        row("extension to the next dot", D::CameraRoll, "Media/DCIM/100APPLE/IMG.jpg.mov", false, "photo");
        row("other extension stops", D::CameraRoll, "Media/DCIM/100APPLE/IMG_2.HEIC", false, "");
        row("no digits", D::CameraRoll, "Media/DCIM/APPLE/IMG_1.JPG", false, "");
        row("no extension", D::CameraRoll, "Media/DCIM/100APPLE/IMG_1", false, "");
        row("empty extension", D::CameraRoll, "Media/DCIM/100APPLE/IMG_1./x", false, "");
        row("empty name", D::CameraRoll, "Media/DCIM/100APPLE/.JPG", false, "");
        row("sub folder", D::CameraRoll, "Media/DCIM/100APPLE/x/IMG_1.JPG", false, "");
        row("meta thumbnail", D::CameraRoll, "Media/PhotoData/MetaData/DCIM/100APPLE/IMG_3.THM", false, "thumb=IMG_3");
        row("meta thumbnail, other case", D::CameraRoll, "MEDIA/photodata/metadata/dcim/7apple/Ab.thm/z", false,
            "thumb=Ab");
        row("meta, not thm", D::CameraRoll, "Media/PhotoData/MetaData/DCIM/100APPLE/IMG_3.JPG", false, "");
        row("meta, thm longer", D::CameraRoll, "Media/PhotoData/MetaData/DCIM/100APPLE/IMG_3.THMB", false, "");
        row("thumb folder", D::CameraRoll, "Media/DCIM/.THMB/x/100APPLE___IMG_4.png", false, "thumb=IMG_4");
        row("thumb folder, jpg", D::CameraRoll, "Media/DCIM/.thmb/a.b/5apple___I.JPG/q", false, "thumb=I");
        row("thumb, no folder", D::CameraRoll, "Media/DCIM/.THMB//100APPLE___IMG_4.png", false, "");
        row("thumb, two underscores", D::CameraRoll, "Media/DCIM/.THMB/x/100APPLE__IMG_4.png", false, "");
        row("thumb, heic", D::CameraRoll, "Media/DCIM/.THMB/x/100APPLE___IMG_4.heic", false, "");
        row("thumb, any character", D::CameraRoll, "Media/DCIM/xTHMB/x/100APPLE___IMG_4.png", false, "");
        row("camera roll slot path", D::CameraRoll, "Library/SMS/sms.db", false, "");
        // Home: slots and voicemails.
        row("message database", D::Home, "Library/SMS/sms.db", false, "smsDb");
        row("message database, any case", D::Home, "LIBRARY/sms/SMS.DB", false, "smsDb");
        row("message database, longer", D::Home, "Library/SMS/sms.db-wal", false, "");
        row("address book", D::Home, "library/addressbook/addressbook.sqlitedb", false, "addressBookDb");
        row("call history store", D::Home, "Library/CallHistoryDB/CallHistory.storedata", false, "callHistoryStore");
        row("recordings in home", D::Home, "Media/Recordings/Recordings.db", false, "");
        row("voicemail", D::Home, "Library/Voicemail/12.amr", false, "vm=12");
        row("voicemail, leading zeros", D::Home, "Library/voicemail/0007.AMR", false, "vm=7");
        row("voicemail, largest", D::Home, "Library/Voicemail/2147483647.amr", false, "vm=2147483647");
        row("voicemail, too large", D::Home, "Library/Voicemail/2147483648.amr", false, "vm=0");
        row("voicemail, final newline", D::Home, "Library/Voicemail/5.amr\n", false, "vm=5");
        row("voicemail, two newlines", D::Home, "Library/Voicemail/5.amr\n\n", false, "");
        row("voicemail, longer", D::Home, "Library/Voicemail/5.amrx", false, "");
        row("voicemail, letters", D::Home, "Library/Voicemail/5a.amr", false, "");
        row("voicemail, no number", D::Home, "Library/Voicemail/.amr", false, "");
        row("voicemail database", D::Home, "Library/Voicemail/voicemail.db", false, "voicemailDb");
        // Media: recordings and message files.
        row("recordings database", D::Media, "media/recordings/recordings.DB", false, "recordingsDb");
        row("recording", D::Media, "Media/Recordings/memo.m4a", false, "rec=memo.m4a");
        row("recording, any case", D::Media, "MEDIA/RECORDINGS/Memo.M4A", false, "rec=Memo.M4A");
        row("recording, final newline", D::Media, "Media/Recordings/memo.m4a\n", false, "rec=memo.m4a");
        row("recording, newline in name", D::Media, "Media/Recordings/a\nb.m4a", false, "rec=a\nb.m4a");
        row("recording, two dots", D::Media, "Media/Recordings/a.b.m4a", false, "");
        row("recording, sub folder", D::Media, "Media/Recordings/x/a.m4a", false, "");
        row("recording, folder", D::Media, "Media/Recordings/a.m4a", true, "");
        row("recording, longer", D::Media, "Media/Recordings/a.m4ax", false, "");
        row("message folder", D::Media, "Library/SMS/Attachments/cd", true, "");
        row("attachment", D::Media, "Library/SMS/Attachments/ab/x.jpg", false,
            "att=ab/x file=/var/mobile/Library/SMS/Attachments/ab/x");
        row("attachment, base name to the first dot", D::Media, "library/sms/attachments/ab/x.y.jpg", false,
            "att=ab/x file=/var/mobile/library/sms/attachments/ab/x.y");
        row("attachment, dot file", D::Media, "Library/SMS/Attachments/ab/.x", false,
            "att=ab/ file=/var/mobile/Library/SMS/Attachments/ab/");
        row("attachment, final newline", D::Media, "Library/SMS/Attachments/ab/x\n", false,
            "att=ab/x\n file=/var/mobile/Library/SMS/Attachments/ab/x\n");
        row("attachment, three levels", D::Media, "Library/SMS/Attachments/ab/12/IMG_1-preview-left.jpg", false,
            "file=/var/mobile/Library/SMS/Attachments/ab/12/IMG_1-preview "
            "file=/var/mobile/Library/SMS/Attachments/ab/12/IMG_1-preview-left");
        row("preview, left in other case", D::Media, "Library/SMS/a-preview/b-PREVIEW-LEFT.jpg", false,
            "file=/var/mobile/Library/SMS/a-preview file=/var/mobile/Library/SMS/a-preview-left");
        row("preview, last of two", D::Media, "Library/SMS/x-preview-preview.jpg", false,
            "file=/var/mobile/Library/SMS/x-preview-preview");
        row("preview, case matters", D::Media, "Library/SMS/x-PREVIEW.jpg", false,
            "file=/var/mobile/Library/SMS/x-PREVIEW");
        row("message file without dot", D::Media, "Library/SMS/x", false, "file=/var/mobile/Library/SMS/x");
        row("part", D::Media, "Library/SMS/Parts/a/b/part.12.txt", false,
            "part=part file=/var/mobile/Library/SMS/Parts/a/b/part.12");
        row("part, too deep", D::Media, "Library/SMS/Parts/a/b/c/d.txt", false,
            "file=/var/mobile/Library/SMS/Parts/a/b/c/d");
        row("part, empty folder", D::Media, "Library/SMS/Parts/a//d.txt", false,
            "file=/var/mobile/Library/SMS/Parts/a//d");
        row("attachment, empty folder", D::Media, "Library/SMS/Attachments//d.txt", false,
            "file=/var/mobile/Library/SMS/Attachments//d");
        row("message file in home", D::Home, "Library/SMS/Attachments/ab/x.jpg", false, "");
        // Wireless.
        row("call history", D::Wireless, "library/callhistory/CALL_HISTORY.db", false, "callHistoryDb");
        row("call history, longer", D::Wireless, "Library/CallHistory/call_history.db2", false, "");
        row("no domain", D::None, "Library/SMS/sms.db", false, "");
        // Beyond ASCII: letters that match ASCII ones without regard to case,
        // and runs of any character.
        row("long s in a slot path", D::Home, QString::fromUtf8("Library/\u017FMS/sms.db"), false, "smsDb");
        row("kelvin sign in the voicemail folder", D::Home, QString::fromUtf8("Library/Voicemail/\u212A.amr"), false,
            "");
        row("photo named beyond ASCII", D::CameraRoll, QString::fromUtf8("Media/DCIM/100APPLE/\u00e9t\u00e9.JPG"),
            false, "photo");
        row("attachment named beyond ASCII", D::Media, QString::fromUtf8("Library/SMS/Attachments/\u00e9/\U0001F600.jpg"),
            false, "att=\u00e9/\U0001F600 file=/var/mobile/Library/SMS/Attachments/\u00e9/\U0001F600");
        row("long s in the message folder", D::Media, QString::fromUtf8("Library/\u017FMS/x.jpg"), false,
            "file=/var/mobile/Library/\u017FMS/x");
    }

    void bytesAgreeWithPatterns()
    {
        QFETCH(ClassifiedDomain, domain);
        QFETCH(QString, path);
        QFETCH(bool, folder);
        QFETCH(QString, expected);
        Node file(nullptr, nullptr, Node::kNoRecord, QStringLiteral("file"));
        Node dir(&file, nullptr, Node::kNoRecord, QStringLiteral("dir"));
        const Node* node = folder ? &dir : &file;
        QCOMPARE(node->isFolder(), folder);

        BackupManifest byBytes(QStringLiteral("/nonexistent"));
        const QByteArray utf8 = path.toUtf8();
        g_classifyBackupFile(byBytes, node, domain, utf8);
        BackupManifest byText(QStringLiteral("/nonexistent"));
        g_classifyBackupFileText(byText, node, domain, path);
        QCOMPARE(recorded(byText), expected);
        QCOMPARE(recorded(byBytes), expected);
    }

    // A slot keeps its first node; a map keeps the last node under a key.
    void firstSlotLastKey()
    {
        Node first(nullptr, nullptr, Node::kNoRecord, QStringLiteral("a"));
        Node second(nullptr, nullptr, Node::kNoRecord, QStringLiteral("b"));
        BackupManifest b(QStringLiteral("/nonexistent"));
        g_classifyBackupFile(b, &first, ClassifiedDomain::Home, "Library/SMS/SMS.db");
        g_classifyBackupFile(b, &second, ClassifiedDomain::Home, "Library/SMS/sms.db");
        g_classifyBackupFile(b, &first, ClassifiedDomain::Media, "Library/SMS/Attachments/ab/x.jpg");
        g_classifyBackupFile(b, &second, ClassifiedDomain::Media, "Library/SMS/Attachments/ab/x.png");
        QCOMPARE(b.smsDbNode, &first);
        QCOMPARE(b.smsAttachments.value("ab/x"), &second);
        QCOMPARE(b.smsFiles.value("/var/mobile/Library/SMS/Attachments/ab/x"), &second);
    }
};

QTEST_GUILESS_MAIN(TestBackupFileClassifier)
#include "tst_backupfileclassifier.moc"
