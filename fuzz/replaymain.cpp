// Feeds files to a fuzz target's entry point outside the fuzzing engine: each
// argument is a file, or a folder whose files are fed in name order. A
// missing folder is skipped, so a target without kept findings passes.
#include "fuzzsupport.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QStringList inputsOf(const QString& argument)
{
    const QFileInfo info(argument);
    if (!info.isDir())
        return info.exists() ? QStringList{argument} : QStringList{};
    QStringList files;
    QDirIterator it(argument, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int main(int argc, char** argv)
{
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        for (const QString& path : inputsOf(QString::fromLocal8Bit(argv[i]))) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "Cannot read %s\n", qPrintable(path));
                return 1;
            }
            // A buffer of exactly the input's size, as the engine gives, so
            // that a read one past the end is caught.
            const QByteArray contents = file.readAll();
            const std::vector<uint8_t> input(contents.begin(), contents.end());
            std::fprintf(stderr, "Running %s (%zu bytes)\n", qPrintable(path), input.size());
            LLVMFuzzerTestOneInput(input.data(), input.size());
            ++count;
        }
    }
    std::fprintf(stderr, "Replayed %d inputs\n", count);
    return 0;
}
