// Reading a backup's file index of a million records in each generation:
// parsing it and building the file tree, in records per second and peak
// memory, beside the time SQLite alone takes to step through the same Files
// table. Each measurement runs in a child process of its own, so that the
// peak memory of one is not that of another or of building the fixture.
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
#include <QTemporaryDir>

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

namespace {
// A device-like mix: message attachments in nested folders, camera roll,
// home files and a hundred applications.
void fill(BackupFixture& fixture, int records)
{
    fixture.records.reserve(records);
    for (int i = 0; fixture.records.size() < records; ++i) {
        switch (i % 4) {
        case 0:
            fixture.addFile("MediaDomain", QString("Library/SMS/Attachments/%1/%2/IMG_%3.jpg")
                                               .arg(i % 256, 2, 16, QLatin1Char('0'))
                                               .arg(i % 100, 2, 10, QLatin1Char('0'))
                                               .arg(i),
                            QByteArray());
            break;
        case 1:
            fixture.addFile("CameraRollDomain", QString("Media/DCIM/%1APPLE/IMG_%2.JPG").arg(100 + i % 50).arg(i),
                            QByteArray());
            break;
        case 2:
            fixture.addFile(QString("AppDomain-com.example.app%1").arg(i % 100),
                            QString("Documents/%1/file%2.dat").arg(i % 1000).arg(i), QByteArray());
            break;
        default:
            fixture.addFile("HomeDomain", QString("Library/Caches/%1/entry%2").arg(i % 500).arg(i), QByteArray());
        }
        fixture.records.last().digest = QByteArray(20, char(i));
        fixture.records.last().size = i;
    }
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

void measureIndex(const char* label, const QString& folder)
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
        std::printf("%-14s %8.0f records  parse %6.2f s, cpu %6.2f s (%9.0f rec/s)  tree %6.2f s, cpu %6.2f s "
                    "(%9.0f rec/s)  peak RSS %6.0f MB\n",
                    label, n, parseSeconds, cpu1 - cpu0, n / parseSeconds, treeSeconds, cpu2 - cpu1,
                    n / treeSeconds, peakKilobytes() / 1024.0);
    });
}

void measureSqliteFloor(const QString& dbPath)
{
    inChild([&] {
        sqlite3* db = nullptr;
        sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "select * from Files", -1, &stmt, nullptr);
        QElapsedTimer timer;
        timer.start();
        long rows = 0;
        size_t bytes = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            bytes += size_t(sqlite3_column_bytes(stmt, 1)) + size_t(sqlite3_column_bytes(stmt, 2))
                + size_t(sqlite3_column_bytes(stmt, 4));
            ++rows;
        }
        const double seconds = timer.nsecsElapsed() / 1e9;
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        std::printf("%-14s %8ld rows     step  %6.2f s (%9.0f rows/s)  (%zu column bytes)\n", "SQLite floor", rows,
                    seconds, rows / seconds, bytes);
    });
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    QTemporaryDir dir;
    const QString mbdb = dir.filePath("mbdb");
    const QString db = dir.filePath("db");
    inChild([&] {
        for (const auto& [folder, generation] :
             {std::pair{mbdb, BackupFixture::Generation::Mbdb}, std::pair{db, BackupFixture::Generation::ManifestDb}}) {
            BackupFixture fixture(folder, generation);
            fill(fixture, records);
            fixture.write(false);
        }
    });
    std::printf("index files: Manifest.mbdb %.1f MB, Manifest.db %.1f MB\n",
                QFileInfo(mbdb + "/Manifest.mbdb").size() / 1048576.0, QFileInfo(db + "/Manifest.db").size() / 1048576.0);
    measureIndex("Manifest.mbdb", mbdb);
    measureIndex("Manifest.db", db);
    measureSqliteFloor(db + "/Manifest.db");
    return 0;
}
