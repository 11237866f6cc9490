// The file tree of a backup: merged domains side by side at the root,
// application and other domains below their folders, orphans, the build-once
// rule, and the well-known files recorded while building.
#include <QtTest>

#include "backupfixture.h"
#include "backupmanifest.h"
#include "mobiledevice_loader.h"

using Node = BackupManifest::_FileNode;
using Gen = BackupFixture::Generation;

namespace {
const Node* child(const Node* node, const QString& name)
{
    if (!node)
        return nullptr;
    for (const Node* c : node->children) {
        if (c->name == name)
            return c;
    }
    return nullptr;
}

// Follows names separated by "/" from the node.
const Node* walk(const Node* node, const QString& names)
{
    for (const QString& name : names.split(QLatin1Char('/')))
        node = child(node, name);
    return node;
}

QStringList childNames(const Node* node)
{
    QStringList names;
    for (const Node* c : node->children)
        names << c->name;
    return names;
}

struct Built
{
    QTemporaryDir dir;
    std::unique_ptr<BackupManifest> backup;
};

// Writes the records (domain, path; a path ending in "/" is a folder) as an
// index of the generation and builds the tree.
std::unique_ptr<Built> build(const QList<QPair<QString, QString>>& records, Gen generation = Gen::Mbdb)
{
    auto built = std::make_unique<Built>();
    BackupFixture fixture(built->dir.path(), generation);
    for (const auto& r : records) {
        if (r.second.endsWith('/'))
            fixture.addFolder(r.first, r.second.chopped(1));
        else
            fixture.addFile(r.first, r.second, "x");
    }
    fixture.write(false);
    built->backup = std::make_unique<BackupManifest>(built->dir.path());
    built->backup->parseInfo();
    return built;
}
} // namespace

class TestBackupFileTree : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
    }

    void mergedDomainsShareOneTree_data()
    {
        QTest::addColumn<int>("generation");
        QTest::newRow("Manifest.mbdb") << int(Gen::Mbdb);
        QTest::newRow("Manifest.db") << int(Gen::ManifestDb);
    }
    void mergedDomainsShareOneTree()
    {
        QFETCH(int, generation);
        const auto b = build({{"MediaDomain", "Library/"},
                              {"MediaDomain", "Library/SMS/"},
                              {"MediaDomain", "Library/SMS/Attachments/"},
                              {"MediaDomain", "Library/SMS/Attachments/ab/"},
                              {"MediaDomain", "Library/SMS/Attachments/ab/x.jpg"},
                              {"HomeDomain", "Library/"},
                              {"HomeDomain", "Library/SMS/"},
                              {"HomeDomain", "Library/SMS/sms.db"}},
                             Gen(generation));
        const BackupManifest& m = *b->backup;
        QCOMPARE(childNames(&m.root), QStringList{"Library"});
        const Node* library = walk(&m.root, "Library");
        QCOMPARE(library->item().domain.toString(), QStringLiteral("HomeDomain"));
        QVERIFY(library->item().isFolder());
        const Node* sms = walk(library, "SMS");
        QCOMPARE(sms->item().domain.toString(), QStringLiteral("HomeDomain"));
        QCOMPARE(childNames(sms), (QStringList{"sms.db", "Attachments"}));
        const Node* x = walk(sms, "Attachments/ab/x.jpg");
        QVERIFY(x);
        QCOMPARE(x->parent->name, QStringLiteral("ab"));
        QCOMPARE(x->item().domain.toString(), QStringLiteral("MediaDomain"));
        QCOMPARE(m.smsDbNode, walk(sms, "sms.db"));
        QCOMPARE(m.smsAttachments.value("ab/x"), x);
        QCOMPARE(m.smsFiles.value("/var/mobile/Library/SMS/Attachments/ab/x"), x);
        QCOMPARE(m.items.size(), 8);
    }

    void applicationAndOtherDomains()
    {
        const auto b = build({{"AppDomain-alpha", ""},
                              {"AppDomain-alpha", "Documents/"},
                              {"AppDomain-alpha", "Documents/a"},
                              {"AppDomainGroup-beta", ""},
                              {"FooDomain", ""},
                              {"FooDomain", "x"},
                              {"homedomain", "Library/SMS/sms.db"}});
        const BackupManifest& m = *b->backup;
        QCOMPARE(childNames(&m.root),
                 (QStringList{"Applications", "AppDomainGroup", "FooDomain", "homedomain", "sms.db"}));
        const Node* alpha = walk(&m.root, "Applications/alpha");
        QVERIFY(alpha);
        QCOMPARE(alpha->item().domain.toString(), QStringLiteral("AppDomain-alpha"));
        QVERIFY(alpha->item().path.toString().isEmpty());
        QVERIFY(walk(alpha, "Documents/a"));
        QVERIFY(walk(&m.root, "AppDomainGroup/beta"));
        const Node* foo = walk(&m.root, "FooDomain");
        QCOMPARE(foo->item().mode, quint16(0x4000));
        QVERIFY(!foo->item().domain.isValid());
        QCOMPARE(childNames(foo), QStringList{"x"});
        // A domain spelled in another case is a folder of its own, yet still
        // recognised as HomeDomain. Its sms.db has no Library/SMS node to hang
        // from, so it sits at the root.
        QVERIFY(walk(&m.root, "homedomain")->children.isEmpty());
        QCOMPARE(m.smsDbNode, walk(&m.root, "sms.db"));
    }

    void orphansHangFromTheRoot()
    {
        const auto b = build({{"HomeDomain", "Library/Caches/x"},
                              {"HomeDomain", "Library/Caches/x/y"},
                              {"MediaDomain", "Library/Caches/"}});
        const BackupManifest& m = *b->backup;
        QCOMPARE(childNames(&m.root), (QStringList{"x", "Caches"}));
        QVERIFY(walk(&m.root, "x/y"));
        QVERIFY(walk(&m.root, "Caches")->children.isEmpty());
    }

    // Nodes are found by their whole path key: a record of a merged domain
    // whose path spells another domain's folder is that folder's node, and
    // keys of any length (past a kilobyte) find their parents.
    void keysAreWholePaths()
    {
        const QString longFolder = QString(1500, QLatin1Char('a'));
        const auto b = build({{"FooDomain", longFolder + "/"},
                              {"FooDomain", longFolder + "/f"},
                              {"FooDomain", "x"},
                              {"HomeDomain", "FooDomain/x"},
                              {"HomeDomain", "FooDomain/y"},
                              {"MediaDomain", longFolder + "/"},
                              {"MediaDomain", longFolder + "/g"}});
        const BackupManifest& m = *b->backup;
        QCOMPARE(childNames(&m.root), (QStringList{"FooDomain", longFolder}));
        const Node* foo = walk(&m.root, "FooDomain");
        QCOMPARE(childNames(foo), (QStringList{longFolder, "x", "y"}));
        QCOMPARE(walk(foo, "x")->item().domain.toString(), QStringLiteral("FooDomain"));
        QVERIFY(walk(foo, longFolder + "/f"));
        QVERIFY(walk(&m.root, longFolder + "/g"));
    }

    // An application's folder key is kept apart from the records' paths, yet
    // a merged domain's path that spells it finds it, and a second record
    // under it makes no second node.
    void applicationKeysMeetMergedPaths()
    {
        const auto b = build({{"AppDomain-alpha", ""},
                              {"AppDomain-alpha", "Documents/"},
                              {"HomeDomain", "Applications/alpha"},
                              {"HomeDomain", "Applications/alpha/Library/"},
                              {"HomeDomain", "Applications/alpha/Library/x"}});
        const BackupManifest& m = *b->backup;
        QCOMPARE(childNames(&m.root), QStringList{"Applications"});
        const Node* alpha = walk(&m.root, "Applications/alpha");
        QCOMPARE(alpha->item().domain.toString(), QStringLiteral("AppDomain-alpha"));
        QCOMPARE(childNames(alpha), (QStringList{"Documents", "Library"}));
        QCOMPARE(walk(alpha, "Library/x")->item().domain.toString(), QStringLiteral("HomeDomain"));
    }

    // A large index is keyed a block of records at a time on several
    // threads: every record of every kind of domain, across the blocks,
    // is the node its path names, and records of merged domains meet in
    // one folder.
    void everyRecordOfALargeIndexIsItsNode()
    {
        QList<QPair<QString, QString>> records;
        records << qMakePair(QStringLiteral("AppDomain-app"), QString())
                << qMakePair(QStringLiteral("AppDomain-app"), QStringLiteral("Documents/"))
                << qMakePair(QStringLiteral("HomeDomain"), QStringLiteral("Library/"));
        for (int f = 0; f < 400; ++f)
            records << qMakePair(QStringLiteral("HomeDomain"), QStringLiteral("Library/F%1/").arg(f));
        for (int i = 0; i < 12000; ++i) {
            records << qMakePair(QStringLiteral("HomeDomain"), QStringLiteral("Library/F%1/h%2").arg(i % 400).arg(i))
                    << qMakePair(QStringLiteral("MediaDomain"), QStringLiteral("Library/F%1/m%2").arg(i % 400).arg(i))
                    << qMakePair(QStringLiteral("AppDomain-app"), QStringLiteral("Documents/d%1").arg(i))
                    << qMakePair(QStringLiteral("FooDomain"), QStringLiteral("x%1").arg(i));
        }
        const auto b = build(records);
        const BackupManifest& m = *b->backup;
        QCOMPARE(m.items.size(), records.size());
        QCOMPARE(childNames(&m.root), (QStringList{"Applications", "FooDomain", "Library"}));
        QCOMPARE(walk(&m.root, "Library/F7")->children.size(), 60);
        QCOMPARE(walk(&m.root, "FooDomain")->children.size(), 12000);
        for (const auto& [domain, path] : std::as_const(records)) {
            const QString at = domain == "AppDomain-app" ? "Applications/app" + (path.isEmpty() ? "" : "/" + path)
                : domain == "FooDomain"                  ? "FooDomain/" + path
                                                         : path;
            const Node* node = walk(&m.root, at.endsWith('/') ? at.chopped(1) : at);
            QVERIFY2(node, qPrintable(at));
            QCOMPARE(node->item().domain.toString(), domain);
            QCOMPARE(node->item().path.toString(), path.endsWith('/') ? path.chopped(1) : path);
        }
    }

    void namesDifferingInCaseAreTwoNodes()
    {
        const auto b = build({{"HomeDomain", "Library/SMS/"},
                              {"HomeDomain", "Library/SMS/sms.db"},
                              {"HomeDomain", "Library/SMS/SMS.db"}});
        QCOMPARE(childNames(walk(&b->backup->root, "SMS")), (QStringList{"SMS.db", "sms.db"}));
        QCOMPARE(b->backup->smsDbNode->name, QStringLiteral("SMS.db"));
    }

    void buildsOnceAndLeavesStateOnFailure()
    {
        QTemporaryDir dir;
        BackupManifest backup(dir.path());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, backup.parseInfo());
        QVERIFY(backup.root.children.isEmpty());

        BackupFixture fixture(dir.path(), Gen::Mbdb);
        fixture.addFile("HomeDomain", "", "");
        fixture.write(false);
        backup.parseInfo(); // no node: the root stands for the empty path
        QVERIFY(backup.root.children.isEmpty());
        QCOMPARE(backup.items.size(), 1);

        fixture.addFile("HomeDomain", "a", "x");
        fixture.write(false);
        backup.parseInfo(); // read again: the earlier build made no node
        QCOMPARE(childNames(&backup.root), QStringList{"a"});

        fixture.addFile("HomeDomain", "b", "x");
        fixture.write(false);
        backup.parseInfo();
        QCOMPARE(childNames(&backup.root), QStringList{"a"});
        QCOMPARE(backup.items.size(), 2);
    }

    void wellKnownFiles()
    {
        const auto b = build({{"CameraRollDomain", "Media/DCIM/100APPLE/IMG_1.MOV"},
                              {"CameraRollDomain", "Media/DCIM/100APPLE/IMG_1.JPG"},
                              {"CameraRollDomain", "Media/DCIM/100APPLE/IMG_2.HEIC"},
                              {"CameraRollDomain", "Media/PhotoData/MetaData/DCIM/100APPLE/IMG_3.THM"},
                              {"CameraRollDomain", "Media/DCIM/.THMB/x/100APPLE___IMG_4.png"},
                              {"HomeDomain", "library/addressbook/addressbook.sqlitedb"},
                              {"HomeDomain", "Library/CallHistoryDB/CallHistory.storedata"},
                              {"HomeDomain", "Library/Voicemail/12.amr"},
                              {"HomeDomain", "Library/Voicemail/99999999999.amr"},
                              {"MediaDomain", "Media/Recordings/Recordings.db"},
                              {"MediaDomain", "Media/Recordings/memo.m4a"},
                              {"MediaDomain", "Library/SMS/Attachments/ab/12/IMG_1-preview-left.jpg"},
                              {"MediaDomain", "Library/SMS/Parts/a/b/part.12.txt"},
                              {"MediaDomain", "Library/SMS/Attachments/cd/"},
                              {"WirelessDomain", "Library/CallHistory/call_history.db"}});
        const BackupManifest& m = *b->backup;
        const auto named = [&](const QString& name) {
            std::function<const Node*(const Node*)> find = [&](const Node* n) -> const Node* {
                if (n->name == name)
                    return n;
                for (const Node* c : n->children) {
                    if (const Node* hit = find(c))
                        return hit;
                }
                return nullptr;
            };
            return find(&m.root);
        };
        QCOMPARE(m.cameraRollVideos, QList<const Node*>{named("IMG_1.MOV")});
        QCOMPARE(m.cameraRollPhotos, QList<const Node*>{named("IMG_1.JPG")});
        QCOMPARE(m.cameraRollThumbnails.keys(), (QStringList{"IMG_3", "IMG_4"}));
        QCOMPARE(m.addressBookDbNode, named("addressbook.sqlitedb"));
        QCOMPARE(m.callHistoryStoreNode, named("CallHistory.storedata"));
        QCOMPARE(m.voicemails.keys(), (QList<int>{0, 12}));
        QCOMPARE(m.recordingsDbNode, named("Recordings.db"));
        QCOMPARE(m.recordings.keys(), QStringList{"memo.m4a"});
        QCOMPARE(m.callHistoryDbNode, named("call_history.db"));
        const Node* preview = named("IMG_1-preview-left.jpg");
        QCOMPARE(m.smsFiles.value("/var/mobile/Library/SMS/Attachments/ab/12/IMG_1-preview"), preview);
        QCOMPARE(m.smsFiles.value("/var/mobile/Library/SMS/Attachments/ab/12/IMG_1-preview-left"), preview);
        QCOMPARE(m.smsParts.value("part"), named("part.12.txt"));
        QCOMPARE(m.smsAttachments.size(), 0); // three levels below Attachments; "cd" is a folder
        QCOMPARE(m.smsFiles.size(), 3);
        QVERIFY(named("cd"));
        QVERIFY(!m.smsDbNode);
    }
};

QTEST_GUILESS_MAIN(TestBackupFileTree)
#include "tst_backupfiletree.moc"
