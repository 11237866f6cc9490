#include "backupfiletree.h"

#include "backupfileclassifier.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>
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
    // Sized for `records` nodes and the folders added above them.
    TreeBuilder(BackupManifest& backup, size_t records) : m_backup(backup)
    {
        m_nodes.reserve(qsizetype(records) + 1024);
    }

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

// The records in tree order: domain by domain in the order of their texts,
// then by path as UTF-8 bytes up to a NUL (the text's code-point order, which
// differs from comparing UTF-16 code units only between characters above
// U+FFFF and those from U+E000). A folder's path is a prefix of the paths
// below it, so its record comes before theirs.
struct TreeRecord
{
    int domain; // rank of the domain's text
    QByteArrayView path;
    const MBDBParser::_MBDBItem* item;
};

std::vector<TreeRecord> treeOrder(const MBDBParser::Index& items, std::vector<QString>& domains)
{
    // Distinct domains, found through their bytes: records of one domain
    // mostly follow each other, and their bytes are often shared.
    QHash<QByteArray, int> domainIds;
    std::vector<TreeRecord> records;
    records.reserve(size_t(items.size()));
    QByteArray lastBytes;
    int lastId = -1;
    for (const MBDBParser::_MBDBItem& item : items) {
        const QByteArray bytes = item.domain.isValid() ? item.domain.data : QByteArray();
        if (lastId < 0 || bytes.constData() != lastBytes.constData() || bytes != lastBytes) {
            lastBytes = bytes;
            const auto found = domainIds.constFind(bytes);
            if (found != domainIds.constEnd()) {
                lastId = *found;
            } else {
                lastId = int(domains.size());
                domainIds.insert(bytes, lastId);
                domains.push_back(item.domain.toString());
            }
        }
        QByteArrayView path;
        if (item.path.isValid()) {
            const qsizetype nul = item.path.data.indexOf('\0');
            path = QByteArrayView(item.path.data).first(nul < 0 ? item.path.data.size() : nul);
        }
        records.push_back({lastId, path, &item});
    }
    // Ids become ranks in the order of the domains' texts; equal texts (bytes
    // that decode alike) share a rank.
    std::vector<int> order(domains.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return QString::compare(domains[size_t(a)], domains[size_t(b)], Qt::CaseSensitive) < 0;
    });
    std::vector<int> rank(domains.size());
    std::vector<QString> ranked;
    for (size_t i = 0; i < order.size(); ++i) {
        const QString& text = domains[size_t(order[i])];
        if (ranked.empty() || ranked.back() != text)
            ranked.push_back(text);
        rank[size_t(order[i])] = int(ranked.size() - 1);
    }
    for (TreeRecord& record : records)
        record.domain = rank[size_t(record.domain)];
    domains = std::move(ranked);
    std::sort(records.begin(), records.end(), [](const TreeRecord& a, const TreeRecord& b) {
        if (a.domain != b.domain)
            return a.domain < b.domain;
        const qsizetype common = std::min(a.path.size(), b.path.size());
        const int byPath = common > 0 ? std::memcmp(a.path.data(), b.path.data(), size_t(common)) : 0;
        return byPath != 0 ? byPath < 0 : a.path.size() < b.path.size();
    });
    return records;
}
} // namespace

namespace BackupFileTree {

void build(BackupManifest& backup, const MBDBParser::Index& items)
{
    std::vector<QString> domains;
    const std::vector<TreeRecord> records = treeOrder(items, domains);
    TreeBuilder builder(backup, records.size());
    for (const TreeRecord& record : records)
        builder.add({domains[size_t(record.domain)], record.item->path.toString(), record.item});
}

} // namespace BackupFileTree
