// Manifest.db, the tables and columns read:
//
//   Files(fileID, domain, relativePath, flags, file)
//     domain, relativePath   text; the stored name is computed from them, so
//                            fileID and flags are not read
//     file                   the MBFile archive as a binary property list, or
//                            the Base64 of its enciphered bytes
//   Properties(key, value)   only key 'salt' is read: the cipher's salt
//
// Written back: fileID the stored name, flags 1 file, 2 folder, 4 link.
#include "manifestdbfile.h"

#include "mbfile.h"
#include "sqlitedb.h"

#include <QFileInfo>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "mbfiledecoder.h"
#include "mergesort.h"

namespace {
// The key of the `file` column cipher, or empty when the column is plain.
QByteArray recordKey(Sqlite3DB& db, const QString& password)
{
    const QByteArray secret = password.toUtf8();
    if (secret.isEmpty())
        return QByteArray();
    Sqlite3Cursor table = db.queryThrow("select 1 from sqlite_master where type='table' and name='Properties'");
    if (!table.moveNext())
        return QByteArray();
    Sqlite3Cursor salt = db.queryThrow("select * from Properties where key='salt' limit 1");
    if (!salt.moveNext())
        return QByteArray();
    return MBDBParser::fileDescKey(secret, salt.getBlob(QStringLiteral("value")));
}
// About how many rows Files holds, to size the index once rather than
// rehashing a million records as it grows: the largest row id, which costs
// no scan; never more rows than the file could hold at 64 bytes each.
qsizetype expectedRows(Sqlite3DB& db, qint64 fileSize)
{
    qint64 largest = 0;
    try {
        Sqlite3Cursor c = db.queryThrow("select max(rowid) from Files");
        largest = c.moveNext() ? c.getInt64(0) : 0;
    } catch (const Sqlite3Error&) {
        // A table without row ids: the index grows as it goes.
    }
    return qsizetype(qBound<qint64>(0, largest, fileSize / 64));
}

// Only the columns read, in the order domain, relativePath, file: SQLite then
// leaves the others of each row alone. A column the table lacks reads as NULL,
// as an absent column reads.
QString readColumnsSql(Sqlite3DB& db)
{
    const Sqlite3Cursor probe = db.queryThrow("select * from Files limit 0");
    QStringList columns;
    for (const char* name : {"domain", "relativePath", "file"})
        columns << (probe.column(QLatin1String(name)) >= 0 ? QLatin1String(name) : QLatin1String("NULL"));
    return QStringLiteral("select %1 from Files").arg(columns.join(QLatin1String(", ")));
}

int rowFlags(const MBDBParser::_MBDBItem& item)
{
    if (item.isFolder())
        return 2;
    return item.linkTarget.isValid() ? 4 : 1;
}

// The `file` column: the archive as a blob, or its enciphered Base64 as text.
void addFileParam(Sqlite3Sql& sql, const MBDBParser::_MBDBItem& item, const QByteArray& key)
{
    const QByteArray archive = MBFile::writeArchive(item);
    if (key.isEmpty())
        sql.addBlobParam(archive);
    else
        sql.addTextParam(QString::fromLatin1(MBDBParser::encryptFileDescThrow(archive, key).toBase64()));
}

void writeRow(Sqlite3DB& db, const MBDBParser::_MBDBItem& item, const QByteArray& key)
{
    const QString name = item.backupFileName();
    if (item.isRemoved) {
        db.executeThrow(Sqlite3Sql("delete from Files where fileID=?").addTextParam(name));
    } else if (item.isModified) {
        Sqlite3Sql sql("update Files set file=?,domain=?,relativePath=?,flags=? where fileID=?");
        addFileParam(sql, item, key);
        sql.addTextParam(item.domain.toString()).addTextParam(item.path.toString()).addIntParam(rowFlags(item));
        db.executeThrow(sql.addTextParam(name));
    } else if (item.isNew) {
        Sqlite3Sql sql("replace into Files(fileID,domain,relativePath,flags,file) values(?,?,?,?,?)");
        sql.addTextParam(name).addTextParam(item.domain.toString()).addTextParam(item.path.toString());
        sql.addIntParam(rowFlags(item));
        addFileParam(sql, item, key);
        db.executeThrow(sql);
    }
}
} // namespace

void g_updateManifestDbIndex(const QString& dbPath, const QString& password, const QList<MBDBParser::_MBDBItem>& items)
{
    Sqlite3DB db;
    db.openThrow(dbPath, Sqlite3DB::ReadWrite);
    const QByteArray key = recordKey(db, password);
    db.beginTran();
    for (const MBDBParser::_MBDBItem& item : items)
        writeRow(db, item, key);
    db.commitTran();
    db.close();
}

namespace {
// A batch of rows as read: their texts and archives copied out of SQLite's
// row, then decoded into records apart from the others, then entered into
// the index in row order.
class RowBatch
{
public:
    explicit RowBatch(const QByteArray& key) : m_key(key) {}

    bool isEmpty() const { return m_rows.empty(); }
    size_t size() const { return m_rows.size(); }

    // Emptied for the next round, keeping its memory.
    void clear()
    {
        m_used = 0;
        m_rows.clear();
        m_error = nullptr;
    }

    void add(QByteArrayView domain, QByteArrayView path, QByteArrayView file)
    {
        Row row;
        row.domain = place(domain);
        row.path = place(path);
        row.file = place(file);
        m_rows.push_back(row);
    }

    // Makes each row's record and the digest of its stored name; thread-safe
    // against other batches. A failure stops the batch at its row.
    void decode()
    {
        m_decoded.resize(m_rows.size());
        m_failedAt = m_rows.size();
        for (size_t i = 0; i < m_rows.size(); ++i) {
            try {
                decodeRow(m_rows[i], m_decoded[i]);
            } catch (...) {
                m_error = std::current_exception();
                m_failedAt = i;
                return;
            }
        }
    }

    // Enters the decoded records in row order; an archive that only the
    // object road reads is read here, by one thread at a time.
    void enterInto(MBDBParser::Index& index)
    {
        for (size_t i = 0; i < m_failedAt; ++i) {
            Decoded& d = m_decoded[i];
            if (d.throughObjects)
                MBFile::readArchiveThroughObjects(d.archive, d.item);
            index.addUnder(d.digest, d.item);
        }
        if (m_error)
            std::rethrow_exception(m_error);
    }

private:
    struct Span
    {
        qsizetype offset = 0;
        qsizetype size = 0;
    };
    struct Row
    {
        Span domain, path, file;
    };
    struct Decoded
    {
        MBDBParser::_MBDBItem item;
        quint8 digest[20] = {};
        // Texts that had to be made valid UTF-8, and the archive (the row's
        // bytes, or their deciphered copy): the record views them.
        QByteArray domain, path, archive;
        bool throughObjects = false;
    };

    // The row's bytes at the end of the batch's buffer, which grows by
    // doubling and is not cleared: copying every archive is the price of
    // decoding them away from the reading thread, and only the copy itself
    // should cost.
    Span place(QByteArrayView bytes)
    {
        const Span span{m_used, bytes.size()};
        if (bytes.size() > m_capacity - m_used)
            grow(bytes.size());
        if (!bytes.isEmpty())
            std::memcpy(m_bytes.get() + m_used, bytes.data(), size_t(bytes.size()));
        m_used += bytes.size();
        return span;
    }

    void grow(qsizetype needed)
    {
        const qsizetype capacity = std::max({m_capacity * 2, m_used + needed, qsizetype(1) << 20});
        std::unique_ptr<char[]> bytes(new char[size_t(capacity)]);
        if (m_used > 0)
            std::memcpy(bytes.get(), m_bytes.get(), size_t(m_used));
        m_bytes = std::move(bytes);
        m_capacity = capacity;
    }

    QByteArrayView view(Span span) const { return QByteArrayView(m_bytes.get() + span.offset, span.size); }

    // A text as UTF-8 that the record views: as stored when valid, else a
    // copy made valid.
    static QByteArray viewedText(QByteArrayView bytes, QByteArray& owned)
    {
        if (!bytes.isValidUtf8()) {
            owned = QString::fromUtf8(bytes).toUtf8();
            bytes = owned;
        }
        return QByteArray::fromRawData(bytes.data(), bytes.size());
    }

    void decodeRow(const Row& row, Decoded& d) const
    {
        d.item = MBDBParser::_MBDBItem();
        d.item.domain.setVal(viewedText(view(row.domain), d.domain));
        d.item.path.setVal(viewedText(view(row.path), d.path));
        const QByteArrayView stored = view(row.file);
        d.archive = m_key.isEmpty()
            ? QByteArray::fromRawData(stored.data(), stored.size())
            : MBDBParser::decryptFileDescThrow(QByteArray::fromBase64(stored.toByteArray()), m_key);
        d.throughObjects = !g_decodeMbFileDirect(d.archive, d.item, true);
        d.item.backupFileDigest(d.digest);
    }

    const QByteArray& m_key;
    std::unique_ptr<char[]> m_bytes;
    qsizetype m_used = 0;
    qsizetype m_capacity = 0;
    std::vector<Row> m_rows;
    std::vector<Decoded> m_decoded;
    size_t m_failedAt = 0;
    std::exception_ptr m_error;
};

// The reading as a pipeline: the calling thread reads rows into batches,
// workers decode the batches side by side, and one thread enters them into
// the index in row order, so that the index is the one a row-by-row reading
// makes. A batch goes round: free, filled, decoded, entered and free again.
class ReadPipeline
{
public:
    ReadPipeline(const QByteArray& key, MBDBParser::Index& index, size_t workers) : m_index(index)
    {
        const size_t batches = 2 * workers + 2;
        for (size_t b = 0; b < batches; ++b) {
            m_batches.push_back(std::make_unique<RowBatch>(key));
            m_state.push_back(State::Free);
        }
        try {
            for (size_t w = 0; w < workers; ++w)
                m_threads.emplace_back([this] { decodeBatches(); });
            m_threads.emplace_back([this] { enterBatches(); });
        } catch (...) {
            stop();
            throw;
        }
    }

    ReadPipeline(const ReadPipeline&) = delete;
    ReadPipeline& operator=(const ReadPipeline&) = delete;

    // On the way out of an error of the caller's: the threads stop where
    // they are.
    ~ReadPipeline() { stop(); }

    // The next batch to fill, emptied, once it is free; none once a batch
    // has failed (finish says how).
    RowBatch* nextBatch()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const size_t slot = m_submitted % m_batches.size();
        m_changed.wait(lock, [&] { return m_state[slot] == State::Free || m_error; });
        if (m_error)
            return nullptr;
        m_batches[slot]->clear();
        return m_batches[slot].get();
    }

    // The batch nextBatch gave is filled.
    void submit()
    {
        change([&] {
            m_state[m_submitted % m_batches.size()] = State::Filled;
            m_toDecode.push_back(m_submitted);
            ++m_submitted;
        });
    }

    // Waits until every batch is entered; throws what a batch failed with.
    void finish()
    {
        change([&] { m_closing = true; });
        join();
        if (m_error)
            std::rethrow_exception(m_error);
    }

private:
    enum class State { Free, Filled, Decoded };

    // Changes the state under the lock and wakes every thread that waits.
    template <typename Change>
    void change(Change apply)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            apply();
        }
        m_changed.notify_all();
    }

    void decodeBatches()
    {
        for (;;) {
            size_t sequence = 0;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [&] { return !m_toDecode.empty() || m_closing || m_stopping || m_error; });
                if (m_stopping || m_error || m_toDecode.empty())
                    return;
                sequence = m_toDecode.front();
                m_toDecode.pop_front();
            }
            m_batches[sequence % m_batches.size()]->decode();
            change([&] { m_state[sequence % m_batches.size()] = State::Decoded; });
        }
    }

    void enterBatches()
    {
        for (;;) {
            const size_t slot = m_entered % m_batches.size();
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [&] {
                    return (m_entered < m_submitted && m_state[slot] == State::Decoded)
                        || (m_closing && m_entered == m_submitted) || m_stopping || m_error;
                });
                if (m_stopping || m_error || m_entered == m_submitted)
                    return;
            }
            try {
                m_batches[slot]->enterInto(m_index);
            } catch (...) {
                change([&] { m_error = std::current_exception(); });
                return;
            }
            change([&] {
                m_state[slot] = State::Free;
                ++m_entered;
            });
        }
    }

    void stop()
    {
        change([&] { m_stopping = true; });
        join();
    }

    void join()
    {
        for (std::thread& thread : m_threads)
            if (thread.joinable())
                thread.join();
    }

    MBDBParser::Index& m_index;
    std::vector<std::unique_ptr<RowBatch>> m_batches;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Guarded by m_mutex, but for m_entered, which only the entering thread
    // changes and reads without it.
    std::vector<State> m_state;
    std::deque<size_t> m_toDecode;
    size_t m_submitted = 0;
    size_t m_entered = 0;
    bool m_closing = false;
    bool m_stopping = false;
    std::exception_ptr m_error;
    std::vector<std::thread> m_threads;
};
} // namespace

MBDBParser::Index g_readManifestDbIndex(const QString& dbPath, const QString& password, ManifestDbReadShape shape)
{
    Sqlite3DB db;
    db.openThrow(dbPath, Sqlite3DB::ReadWrite);
    const QByteArray key = recordKey(db, password);
    MBDBParser::Index index;
    index.reserve(expectedRows(db, QFileInfo(dbPath).size()));
    Sqlite3Cursor rows = db.queryThrow(readColumnsSql(db));
    const int domainColumn = 0, pathColumn = 1, fileColumn = 2;
    // Decoding an archive and hashing its name cost more than reading its
    // row: they are done on other cores while the rows are read.
    const size_t batchRows = size_t(std::max(1, shape.rowsPerBatch));
    const size_t workers = shape.workers > 0
        ? size_t(shape.workers)
        : size_t(std::max(qsWorkThreads(), 3u) - 2); // the reading and entering threads take two cores
    ReadPipeline pipeline(key, index, workers);
    RowBatch* batch = pipeline.nextBatch();
    while (batch && rows.moveNext()) {
        const QByteArrayView domain = rows.getUtf8(domainColumn);
        if (domain.isEmpty())
            continue;
        batch->add(domain, rows.getUtf8(pathColumn), rows.getBytes(fileColumn));
        if (batch->size() == batchRows) {
            pipeline.submit();
            batch = pipeline.nextBatch();
        }
    }
    if (batch && !batch->isEmpty())
        pipeline.submit();
    pipeline.finish();
    db.close();
    return index;
}
