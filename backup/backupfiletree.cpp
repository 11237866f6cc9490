#include "backupfiletree.h"

#include "backupfileclassifier.h"
#include "mergesort.h"
#include "pathkeytable.h"
#include "slicearena.h"

#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

namespace {
using Node = BackupManifest::_FileNode;

// Domains whose records share one tree at the root, equal paths being one node.
const QString kMergedDomains = QStringLiteral(
    "=Domain=MediaDomain=RootDomain=HomeDomain=SystemPreferencesDomain=MobileDeviceDomain=WirelessDomain="
    "DatabaseDomain=CameraRollDomain=HealthDomain=KeychainDomain=KeyboardDomain=ManagedPreferencesDomain=");

// The texts of the path keys, one after the other in blocks that never move,
// so that the key hash can hold views of them: a million keys cost no
// allocation each.
class KeyArena
{
public:
    QByteArrayView store(QByteArrayView a, QByteArrayView b = {}, QByteArrayView c = {})
    {
        const qsizetype size = a.size() + b.size() + c.size();
        if (m_blocks.empty() || m_used + size > m_blockSize) {
            const qsizetype blockSize = std::max(kBlock, size);
            m_blocks.emplace_back(new char[size_t(blockSize)]);
            m_blockSize = blockSize;
            m_used = 0;
        }
        char* at = m_blocks.back().get() + m_used;
        char* end = at;
        for (QByteArrayView part : {a, b, c}) {
            if (!part.isEmpty())
                std::memcpy(end, part.data(), size_t(part.size()));
            end += part.size();
        }
        m_used += size;
        return QByteArrayView(at, size);
    }

private:
    static constexpr qsizetype kBlock = 1 << 20;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    qsizetype m_blockSize = 0;
    qsizetype m_used = 0;
};

// UTF-8 that decodes to the same text as `bytes` and compares equal exactly
// when the texts do: valid UTF-8 as it is, anything else decoded and encoded
// again.
QByteArrayView normalisedUtf8(QByteArrayView bytes, QByteArray& scratch)
{
    if (bytes.isValidUtf8())
        return bytes;
    scratch = QString::fromUtf8(bytes).toUtf8();
    return scratch;
}

// What the path keys of a domain's records begin with: nothing for the
// domains that share the root, else the domain's folder, or an application
// group's folder and the application; and the folder made at the root first.
struct DomainKeys
{
    QByteArray prefix;
    bool isApp = false;
    bool hasFolder = false;
    QString folder;
};

DomainKeys domainKeys(const QString& domain)
{
    static const QRegularExpression appDomain(QStringLiteral("^AppDomain([^-]*)-(.+)"));
    DomainKeys keys;
    const QRegularExpressionMatch app = domain.startsWith(QLatin1String("AppDomain"))
        ? appDomain.match(domain) : QRegularExpressionMatch();
    if (app.hasMatch()) {
        const QString group = app.captured(1);
        keys.folder = group.isEmpty() ? QStringLiteral("Applications") : QLatin1String("AppDomain") + group;
        keys.hasFolder = true;
        keys.isApp = true;
        keys.prefix = (keys.folder + QLatin1Char('/') + app.captured(2)).toUtf8();
    } else if (!kMergedDomains.contains(QLatin1Char('=') + domain + QLatin1Char('='))) {
        keys.folder = domain;
        keys.hasFolder = true;
        keys.prefix = domain.toUtf8();
    }
    return keys;
}

// Makes a record's path key from its domain's prefix and its path (valid
// UTF-8): in a buffer of its own, or a text for a long one.
class KeyMaker
{
public:
    QByteArrayView key(const DomainKeys& domain, QByteArrayView path)
    {
        const QByteArray& prefix = domain.prefix;
        if (prefix.isEmpty())
            return path;
        if (domain.isApp && path.isEmpty())
            return prefix;
        if (prefix.size() + 1 + path.size() > kStackKey)
            return m_longKey = QByteArray(prefix).append('/').append(path);
        std::memcpy(m_buffer, prefix.constData(), size_t(prefix.size()));
        m_buffer[prefix.size()] = '/';
        if (!path.isEmpty())
            std::memcpy(m_buffer + prefix.size() + 1, path.data(), size_t(path.size()));
        return QByteArrayView(m_buffer, prefix.size() + 1 + path.size());
    }

private:
    static constexpr qsizetype kStackKey = 1024;
    char m_buffer[kStackKey];
    QByteArray m_longKey;
};

// A record in tree order: its domain's text and keys, its path as UTF-8 up
// to a NUL, its number in the index, and the hash of its path key.
struct SortedRecord
{
    const QString& domain;
    const DomainKeys& keys;
    QByteArrayView path;
    qsizetype record;
    size_t keyHash;
};

// Nodes are found by their path key (the domain's folder, "/", the record's
// path) kept as UTF-8 in an arena; a path text is decoded only where the
// record's domain has well-known files.
class TreeBuilder
{
    using Table = PathKeyTable;

public:
    // Sized for `records` nodes and the folders added above them.
    TreeBuilder(BackupManifest& backup, const MBDBParser::Index& items, size_t records)
        : m_backup(backup), m_items(items), m_nodes(records + 1024), m_firstNode(backup.nodes.count())
    {
    }

    // The hash of a path key as the table hashes it; from any thread.
    size_t keyHash(QByteArrayView key) const { return m_nodes.hashOf(key); }
    // Fetches the table's slot for a key that add will soon be given.
    void prefetch(size_t keyHash) const { m_nodes.prefetch(keyHash); }

    void add(const SortedRecord& record)
    {
        // Equal domain texts are one entry of the domain list.
        if (&record.domain != m_domain)
            enterDomain(record.domain, record.keys);
        const QByteArrayView path = normalisedUtf8(record.path, m_scratch);
        const QByteArrayView key = m_keyMaker.key(record.keys, path);
        const qsizetype slash = key.lastIndexOf('/');
        const QByteArrayView name = key.sliced(slash + 1);
        if (name.isEmpty())
            return;
        if (!m_nodes.insertNew(key, record.keyHash, [&] { return keptKey(path, record.path); }))
            return;
        Node* node = append(parentOf(key, slash), &m_items, record.record, m_names.utf8(name));
        g_classifyBackupFile(m_backup, node, m_classified, path);
    }

private:
    // Takes up the domain's keys, its folder made first.
    void enterDomain(const QString& domain, const DomainKeys& keys)
    {
        m_domain = &domain;
        m_classified = g_classifiedDomain(domain);
        if (keys.hasFolder)
            ensureFolder(keys.folder);
        m_prefixHead = keys.prefix.isEmpty() ? Table::kNoHead : m_nodes.addHead(m_keys.store(keys.prefix));
    }

    void ensureFolder(const QString& name)
    {
        const QByteArray key = name.toUtf8();
        if (m_nodes.insertNew(key, [&] { return Table::Key(m_keys.store(key)); }))
            append(&m_backup.root, nullptr, Node::kNoRecord, name);
    }

    // The key of a record as the table keeps it: the domain's folder (kept
    // once per domain) and the record's path, which is the index's own bytes
    // unless it had to be made valid UTF-8.
    Table::Key keptKey(QByteArrayView path, QByteArrayView recordPath)
    {
        const QByteArrayView kept = path.data() == recordPath.data() ? path : m_keys.store(path);
        return Table::Key(kept, m_prefixHead);
    }

    // The node of the key's parent key, or the root when there is none yet.
    // Records come sorted, so most share the parent of the one before.
    Node* parentOf(QByteArrayView key, qsizetype slash)
    {
        if (slash < 0)
            return &m_backup.root;
        const QByteArrayView parentKey = key.first(slash);
        if (m_lastParent && m_nodes.spells(m_lastParentKey, parentKey))
            return m_lastParent;
        const qsizetype found = m_nodes.find(parentKey);
        if (found < 0)
            return &m_backup.root;
        // A key once entered keeps its node and its bytes.
        m_lastParent = m_backup.nodes.at(m_firstNode + found);
        m_lastParentKey = m_nodes.key(found);
        return m_lastParent;
    }

    // Makes the node of the key entered last: the nodes this builder makes
    // are numbered as the table numbers their keys.
    Node* append(Node* parent, const MBDBParser::Index* items, qsizetype record, const QString& name)
    {
        Node* node = m_backup.nodes.make(parent, items, record, name);
        Q_ASSERT(m_backup.nodes.count() - m_firstNode == m_nodes.size());
        parent->children.append(node);
        return node;
    }

    BackupManifest& m_backup;
    const MBDBParser::Index& m_items;
    KeyArena m_keys;
    // The nodes' names: a million of them cost no allocation each.
    TextSliceArena m_names{1 << 15};
    // The nodes' path keys; node n of the table is m_firstNode + n of the
    // backup's nodes.
    Table m_nodes;
    qsizetype m_firstNode;
    Node* m_lastParent = nullptr;
    Table::Key m_lastParentKey;
    quint32 m_prefixHead = Table::kNoHead;
    const QString* m_domain = nullptr;
    ClassifiedDomain m_classified = ClassifiedDomain::None;
    QByteArray m_scratch;
    KeyMaker m_keyMaker;
};

// The records in tree order: domain by domain in the order of their texts,
// then by path as UTF-8 bytes up to a NUL (the text's code-point order, which
// differs from comparing UTF-16 code units only between characters above
// U+FFFF and those from U+E000). A folder's path is a prefix of the paths
// below it, so its record comes before theirs.
struct TreeRecord
{
    const char* path;
    quint32 pathSize;
    quint32 record;

    QByteArrayView pathView() const { return QByteArrayView(path, qsizetype(pathSize)); }
};

struct TreeOrder
{
    // The distinct domain texts in their order.
    std::vector<QString> domains;
    // The records of domain d are records[starts[d]] to records[starts[d + 1]].
    std::vector<size_t> starts;
    std::vector<TreeRecord> records;
};

// Ranks of the domain ids in the order of the domains' texts; equal texts
// (bytes that decode alike) share a rank.
std::vector<quint32> domainRanks(const MBDBParser::Index& items, std::vector<QString>& ranked)
{
    std::vector<QString> domains;
    domains.reserve(size_t(items.domainCount()));
    for (qsizetype id = 0; id < items.domainCount(); ++id)
        domains.push_back(items.domain(quint32(id)).toString());
    std::vector<quint32> order(domains.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = quint32(i);
    std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
        return QString::compare(domains[a], domains[b], Qt::CaseSensitive) < 0;
    });
    std::vector<quint32> rank(domains.size());
    for (quint32 id : order) {
        if (ranked.empty() || ranked.back() != domains[id])
            ranked.push_back(domains[id]);
        rank[id] = quint32(ranked.size() - 1);
    }
    return rank;
}

TreeOrder treeOrder(const MBDBParser::Index& items)
{
    TreeOrder order;
    const std::vector<quint32> rank = domainRanks(items, order.domains);
    // Records go into their domain's run first, then each run is sorted by
    // path; a record then needs no domain of its own.
    order.starts.assign(order.domains.size() + 1, 0);
    for (qsizetype r = 0; r < items.size(); ++r)
        ++order.starts[rank[items.domainId(r)] + 1];
    for (size_t d = 1; d < order.starts.size(); ++d)
        order.starts[d] += order.starts[d - 1];
    std::vector<size_t> next(order.starts.begin(), order.starts.end() - 1);
    order.records.resize(size_t(items.size()));
    for (qsizetype r = 0; r < items.size(); ++r) {
        QByteArrayView path = items.pathBytes(r);
        const qsizetype nul = path.indexOf('\0');
        if (nul >= 0)
            path = path.first(nul);
        order.records[next[rank[items.domainId(r)]]++] = {path.data(), quint32(path.size()), quint32(r)};
    }
    // Each domain's run by path; the runs side by side on every core, the
    // largest taken first.
    std::vector<size_t> bySize(order.domains.size());
    for (size_t d = 0; d < bySize.size(); ++d)
        bySize[d] = d;
    std::sort(bySize.begin(), bySize.end(), [&](size_t a, size_t b) {
        return order.starts[a + 1] - order.starts[a] > order.starts[b + 1] - order.starts[b];
    });
    std::atomic<size_t> taken{0};
    qsRunSlices(size_t(items.size()), [&](size_t, size_t) {
        for (size_t i = taken++; i < bySize.size(); i = taken++) {
            const size_t d = bySize[i];
            std::sort(order.records.begin() + qptrdiff(order.starts[d]),
                      order.records.begin() + qptrdiff(order.starts[d + 1]),
                      [](const TreeRecord& a, const TreeRecord& b) {
                          const size_t common = std::min(a.pathSize, b.pathSize);
                          const int byPath = common > 0 ? std::memcmp(a.path, b.path, common) : 0;
                          return byPath != 0 ? byPath < 0 : a.pathSize < b.pathSize;
                      });
        }
    });
    return order;
}
} // namespace

namespace BackupFileTree {

void build(BackupManifest& backup, const MBDBParser::Index& items)
{
    const TreeOrder order = treeOrder(items);
    std::vector<DomainKeys> keys;
    keys.reserve(order.domains.size());
    for (const QString& domain : order.domains)
        keys.push_back(domainKeys(domain));
    TreeBuilder builder(backup, items, order.records.size());
    // Most of a record's time in the builder is the wait for its key's slot
    // in a table of a million: the keys' hashes are made a block at a time
    // on every core, and each slot is fetched a few records ahead.
    constexpr size_t kBlock = size_t(1) << 15;
    constexpr size_t kAhead = 8;
    const size_t n = order.records.size();
    std::vector<size_t> hashes(std::min(n, kBlock));
    size_t domain = 0;
    for (size_t block = 0; block < n; block += kBlock) {
        const size_t end = std::min(n, block + kBlock);
        // The keys are made again by add, which needs their bytes: making
        // them costs less than keeping a block's keys.
        qsRunSlices(end - block, [&](size_t sliceFrom, size_t sliceTo) {
            const size_t from = block + sliceFrom, to = block + sliceTo;
            size_t d = size_t(std::upper_bound(order.starts.begin(), order.starts.end(), from) - order.starts.begin()) - 1;
            KeyMaker maker;
            QByteArray scratch;
            for (size_t r = from; r < to; ++r) {
                while (r >= order.starts[d + 1])
                    ++d;
                const QByteArrayView path = normalisedUtf8(order.records[r].pathView(), scratch);
                hashes[r - block] = builder.keyHash(maker.key(keys[d], path));
            }
        });
        for (size_t r = block; r < end; ++r) {
            while (r >= order.starts[domain + 1])
                ++domain;
            if (r + kAhead < end)
                builder.prefetch(hashes[r + kAhead - block]);
            builder.add({order.domains[domain], keys[domain], order.records[r].pathView(),
                         qsizetype(order.records[r].record), hashes[r - block]});
        }
    }
}

} // namespace BackupFileTree
