// Reading a backup's file index of a million records in each generation:
// parsing it and building the file tree, in records per second and peak
// memory, beside the floor: SQLite alone opening Manifest.db and reading every
// column the reader uses. Each measurement runs in a child process of its
// own, so that the peak memory of one is not that of another or of building
// the fixture; the ratios to the floor come last.
//
// Usage: bench_backup_index [records]   (default 1000000)
#include "backupfiletree.h"
#include "backupfixture.h"
#include "backupmanifest.h"
#include "mbdbparser.h"
#include "mobiledevice_loader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <new>
#include <functional>

namespace {
// A device-like index: records grouped by domain as a phone writes them,
// each folder's record before the records below it, paths of the lengths
// real ones have (message attachments under two hashed levels and a GUID,
// the camera roll with its thumbnails, a hundred applications, home files).
class Filler
{
public:
    Filler(BackupFixture& fixture, int records) : m_fixture(fixture), m_records(records)
    {
        fixture.records.reserve(records);
    }

    void fill()
    {
        for (int round = 0; !full(); ++round) {
            attachments(round);
            cameraRoll(round);
            for (int app = 0; app < 100 && !full(); ++app)
                application(round, app);
            home(round);
        }
    }

private:
    bool full() const { return m_fixture.records.size() >= m_records; }

    // A folder's record, once.
    void folder(const QString& domain, const QString& path)
    {
        if (!full() && !m_folders.contains(domain + '-' + path)) {
            m_folders.insert(domain + '-' + path);
            m_fixture.addFolder(domain, path);
        }
    }

    void file(const QString& domain, const QString& path)
    {
        if (full())
            return;
        BackupFixtureRecord& r = m_fixture.addFile(domain, path, QByteArray());
        const int n = int(m_fixture.records.size());
        r.digest = QByteArray(20, char(n));
        r.size = n;
        r.inode = quint64(n);
    }

    static QString guid(int n)
    {
        return QString("%1-%2-4%3-A%4-%5")
            .arg(quint32(n) * 2654435761u, 8, 16, QLatin1Char('0'))
            .arg(n % 65536, 4, 16, QLatin1Char('0'))
            .arg(n % 4096, 3, 16, QLatin1Char('0'))
            .arg((n / 7) % 4096, 3, 16, QLatin1Char('0'))
            .arg(quint64(n) * 11400714819323198485ull % 0xFFFFFFFFFFFFull, 12, 16, QLatin1Char('0'))
            .toUpper();
    }

    void attachments(int round)
    {
        const QString domain = "MediaDomain";
        const QString base = "Library/SMS/Attachments";
        folder(domain, "Library/SMS");
        folder(domain, base);
        for (int i = 0; i < 2000 && !full(); ++i) {
            const int n = round * 2000 + i;
            const QString level1 = QString("%1/%2").arg(base).arg(n % 256, 2, 16, QLatin1Char('0'));
            const QString level2 = QString("%1/%2").arg(level1).arg(n % 100, 2, 10, QLatin1Char('0'));
            const QString message = level2 + "/" + guid(n);
            folder(domain, level1);
            folder(domain, level2);
            folder(domain, message);
            file(domain, QString("%1/IMG_%2.jpeg").arg(message).arg(n % 10000, 4, 10, QLatin1Char('0')));
        }
    }

    void cameraRoll(int round)
    {
        const QString domain = "CameraRollDomain";
        for (int i = 0; i < 1000 && !full(); ++i) {
            const int n = round * 1000 + i;
            const QString roll = QString("Media/DCIM/%1APPLE").arg(100 + n / 1000);
            const QString thumbs = "Media/PhotoData/Thumbnails/V2/" + roll.mid(6);
            folder(domain, roll);
            folder(domain, thumbs);
            const QString name = QString("IMG_%1.JPG").arg(n % 10000, 4, 10, QLatin1Char('0'));
            file(domain, roll + "/" + name);
            folder(domain, thumbs + "/" + name);
            file(domain, thumbs + "/" + name + "/5005.JPG");
        }
    }

    void application(int round, int app)
    {
        const QString domain = QString("AppDomain-com.example.vendor%1.application%2").arg(app % 7).arg(app);
        const QString caches = QString("Library/Caches/com.example.application%1/fsCachedData").arg(app);
        for (const QString& path : {QString("Library"), QString("Library/Caches"), caches.section('/', 0, 2), caches,
                                    QString("Documents")})
            folder(domain, path);
        for (int i = 0; i < 40 && !full(); ++i) {
            const int n = round * 40 + i;
            file(domain, caches + "/" + guid(n * 131 + app));
            file(domain, QString("Documents/item-%1.dat").arg(n));
        }
    }

    void home(int round)
    {
        const QString domain = "HomeDomain";
        const QString folderPath = QString("Library/Caches/com.apple.cache%1").arg(round);
        folder(domain, "Library/Caches");
        folder(domain, folderPath);
        for (int i = 0; i < 200 && !full(); ++i)
            file(domain, QString("%1/entry-%2.plist").arg(folderPath).arg(i));
    }

    BackupFixture& m_fixture;
    int m_records;
    QSet<QString> m_folders;
};

// What the children measured, in memory shared with the parent.
struct Figures
{
    double floorSeconds = 0;
    double parseSeconds[2] = {};
    double treeSeconds[2] = {};
    double peakMegabytes[2] = {};
};

Figures* sharedFigures()
{
    static Figures* figures = new (mmap(nullptr, sizeof(Figures), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS,
                                        -1, 0)) Figures;
    return figures;
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Processor time of this process so far, in seconds: on a shared machine it
// says more than the wall clock.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the work in a child process and waits for it.
void inChild(const std::function<void()>& work)
{
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        work();
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

void measureIndex(int generation, const char* label, const QString& folder)
{
    inChild([&] {
        QString error;
        mobiledevice_loader_ini(error, QString());
        BackupManifest backup(folder);
        QElapsedTimer timer;
        timer.start();
        const double cpu0 = cpuSeconds();
        const MBDBParser::Index index = MBDBParser::parse(backup);
        const double parseSeconds = timer.nsecsElapsed() / 1e9;
        const double cpu1 = cpuSeconds();
        timer.restart();
        BackupFileTree::build(backup, index);
        const double treeSeconds = timer.nsecsElapsed() / 1e9;
        const double cpu2 = cpuSeconds();
        const double n = index.size();
        Figures* figures = sharedFigures();
        figures->parseSeconds[generation] = parseSeconds;
        figures->treeSeconds[generation] = treeSeconds;
        figures->peakMegabytes[generation] = peakKilobytes() / 1024.0;
        std::printf("%-14s %8.0f records  parse %6.2f s, cpu %6.2f s (%9.0f rec/s)  tree %6.2f s, cpu %6.2f s "
                    "(%9.0f rec/s)  peak RSS %6.0f MB\n",
                    label, n, parseSeconds, cpu1 - cpu0, n / parseSeconds, treeSeconds, cpu2 - cpu1,
                    n / treeSeconds, peakKilobytes() / 1024.0);
    });
}

// The floor: SQLite alone opening the index and reading every column the
// reader uses, into C values without copies.
void measureSqliteFloor(const QString& dbPath)
{
    inChild([&] {
        QElapsedTimer timer;
        timer.start();
        const double cpu0 = cpuSeconds();
        sqlite3* db = nullptr;
        sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "select domain, relativePath, file from Files", -1, &stmt, nullptr);
        long rows = 0;
        size_t bytes = 0;
        unsigned check = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < 2; ++c) {
                const unsigned char* text = sqlite3_column_text(stmt, c);
                bytes += size_t(sqlite3_column_bytes(stmt, c));
                check += text ? text[0] : 0;
            }
            const auto* blob = static_cast<const unsigned char*>(sqlite3_column_blob(stmt, 2));
            const int size = sqlite3_column_bytes(stmt, 2);
            bytes += size_t(size);
            check += size > 0 ? blob[size - 1] : 0;
            ++rows;
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        const double seconds = timer.nsecsElapsed() / 1e9;
        sharedFigures()->floorSeconds = seconds;
        std::printf("%-14s %8ld rows     open+step %6.2f s, cpu %6.2f s (%9.0f rows/s)  (%zu column bytes, %u)\n",
                    "SQLite floor", rows, seconds, cpuSeconds() - cpu0, rows / seconds, bytes, check);
    });
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    sharedFigures(); // mapped before any child is forked, so that all share it
    const int records = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    QTemporaryDir dir;
    const QString mbdb = dir.filePath("mbdb");
    const QString db = dir.filePath("db");
    inChild([&] {
        for (const auto& [folder, generation] :
             {std::pair{mbdb, BackupFixture::Generation::Mbdb}, std::pair{db, BackupFixture::Generation::ManifestDb}}) {
            BackupFixture fixture(folder, generation);
            Filler(fixture, records).fill();
            fixture.write(false);
        }
    });
    std::printf("index files: Manifest.mbdb %.1f MB, Manifest.db %.1f MB\n",
                QFileInfo(mbdb + "/Manifest.mbdb").size() / 1048576.0, QFileInfo(db + "/Manifest.db").size() / 1048576.0);
    measureSqliteFloor(db + "/Manifest.db");
    measureIndex(0, "Manifest.mbdb", mbdb);
    measureIndex(1, "Manifest.db", db);
    const Figures& f = *sharedFigures();
    for (int g = 0; g < 2; ++g)
        std::printf("%-14s ratio to the floor: parse %5.1fx (goal 3x), index + tree %5.1fx (goal 5x), "
                    "peak %4.0f MB (goal 400 MB)\n",
                    g == 0 ? "Manifest.mbdb" : "Manifest.db", f.parseSeconds[g] / f.floorSeconds,
                    (f.parseSeconds[g] + f.treeSeconds[g]) / f.floorSeconds, f.peakMegabytes[g]);
    return 0;
}
