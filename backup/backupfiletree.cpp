#include "backupfiletree.h"

#include "backupfileclassifier.h"

#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace {
using Node = BackupManifest::_FileNode;

// Domains whose records share one tree at the root, equal paths being one node.
const QString kMergedDomains = QStringLiteral(
    "=Domain=MediaDomain=RootDomain=HomeDomain=SystemPreferencesDomain=MobileDeviceDomain=WirelessDomain="
    "DatabaseDomain=CameraRollDomain=HealthDomain=KeychainDomain=KeyboardDomain=ManagedPreferencesDomain=");

using SortedRecord = MBDBSortedItem;

class TreeBuilder
{
public:
    explicit TreeBuilder(BackupManifest& backup) : m_backup(backup) {}

    void add(const SortedRecord& record)
    {
        if (record.domain != m_domain)
            enterDomain(record.domain);
        const QString key = pathKey(record.path);
        const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
        const QString name = key.mid(slash + 1);
        if (name.isEmpty() || m_nodes.contains(key))
            return;
        Node* parent = slash < 0 ? nullptr : m_nodes.value(key.left(slash));
        Node* node = append(parent ? parent : &m_backup.root, *record.item, name);
        m_nodes.insert(key, node);
        g_classifyBackupFile(m_backup, node, record.domain, record.path);
    }

private:
    // Works out, once per domain, what its path keys begin with.
    void enterDomain(const QString& domain)
    {
        static const QRegularExpression appDomain(QStringLiteral("^AppDomain([^-]*)-(.+)"));
        m_domain = domain;
        m_isApp = false;
        m_prefix.clear();
        const QRegularExpressionMatch app = domain.startsWith(QLatin1String("AppDomain"))
            ? appDomain.match(domain) : QRegularExpressionMatch();
        if (app.hasMatch()) {
            const QString group = app.captured(1);
            const QString folder = group.isEmpty() ? QStringLiteral("Applications") : QLatin1String("AppDomain") + group;
            ensureFolder(folder);
            m_isApp = true;
            m_prefix = folder + QLatin1Char('/') + app.captured(2);
        } else if (!kMergedDomains.contains(QLatin1Char('=') + domain + QLatin1Char('='))) {
            ensureFolder(domain);
            m_prefix = domain;
        }
    }

    QString pathKey(const QString& path) const
    {
        if (m_prefix.isEmpty())
            return path;
        if (m_isApp && path.isEmpty())
            return m_prefix;
        return m_prefix + QLatin1Char('/') + path;
    }

    void ensureFolder(const QString& name)
    {
        if (m_nodes.contains(name))
            return;
        m_nodes.insert(name, append(&m_backup.root, Node::addedFolder(), name));
    }

    static Node* append(Node* parent, const MBDBParser::_MBDBItem& item, const QString& name)
    {
        Node* node = new Node(parent, item, name);
        parent->children.append(node);
        return node;
    }

    BackupManifest& m_backup;
    QHash<QString, Node*> m_nodes;
    QString m_domain;
    QString m_prefix;
    bool m_isApp = false;
};
} // namespace

namespace BackupFileTree {

void build(BackupManifest& backup, const MBDBParser::Index& items)
{
    // Sorted by domain, then path (the order of compareMBDBItemLess), on texts
    // decoded once: a folder's record then comes before the records below it.
    std::vector<SortedRecord> sorted = g_sortedByDomainPath(items);
    TreeBuilder builder(backup);
    for (SortedRecord& record : sorted) {
        builder.add(record);
        // What the tree keeps it shares; the rest goes now, not at the end.
        record = SortedRecord();
    }
}

} // namespace BackupFileTree
