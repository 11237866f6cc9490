// The seed corpus of the fuzz targets, written from the test fixtures by the
// program fuzz_seeds. Each seeds/<target>.cpp registers one writer with
// QS_FUZZ_SEEDS(<target>) { sink.add("name", bytes); ... }.
#pragma once

#include <QByteArray>
#include <QString>

class SeedSink
{
public:
    explicit SeedSink(const QString& folder);
    // Writes one seed file; a failure ends the program.
    void add(const QString& name, const QByteArray& bytes);
    int count() const { return m_count; }

private:
    QString m_folder;
    int m_count = 0;
};

using SeedWriter = void (*)(SeedSink&);

struct SeedTarget
{
    SeedTarget(const char* target, SeedWriter writer);
};

#define QS_FUZZ_SEEDS(target)                                                                                          \
    static void qsSeeds_##target(SeedSink& sink);                                                                      \
    static const SeedTarget qsSeedTarget_##target(#target, qsSeeds_##target);                                          \
    static void qsSeeds_##target(SeedSink& sink)
