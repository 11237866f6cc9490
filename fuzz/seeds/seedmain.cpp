// fuzz_seeds <folder> [target...]: writes the seeds of every target (or of the
// named ones) into <folder>/<target>/, replacing what was there.
#include "seeds.h"

#include "fuzzsupport.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QPair>

#include <cstdio>
#include <cstdlib>

namespace {

QList<QPair<QString, SeedWriter>>& writers()
{
    static QList<QPair<QString, SeedWriter>> list;
    return list;
}

} // namespace

SeedTarget::SeedTarget(const char* target, SeedWriter writer)
{
    writers().append({QString::fromLatin1(target), writer});
}

SeedSink::SeedSink(const QString& folder) : m_folder(folder)
{
    QDir(folder).removeRecursively();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "Cannot make %s\n", qPrintable(folder));
        std::exit(1);
    }
}

void SeedSink::add(const QString& name, const QByteArray& bytes)
{
    QFile file(QDir(m_folder).filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "Cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
    ++m_count;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <folder> [target...]\n");
        return 2;
    }
    fuzz::init();
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QStringList wanted;
    for (int i = 2; i < argc; ++i)
        wanted << QString::fromLocal8Bit(argv[i]);
    for (const auto& [target, writer] : writers()) {
        if (!wanted.isEmpty() && !wanted.contains(target))
            continue;
        SeedSink sink(out.filePath(target));
        writer(sink);
        std::printf("%s: %d seeds\n", qPrintable(target), sink.count());
    }
    return 0;
}
