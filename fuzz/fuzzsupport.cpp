#include "fuzzsupport.h"

#include "mobiledevice_loader.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void init()
{
    static const bool done = [] {
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        static QCoreApplication* app = new QCoreApplication(argc, argv);
        Q_UNUSED(app);
        QString error;
        mobiledevice_loader_ini(error, QString());
        if (!mobiledevice_loader_is_corefoundation_loaded()) {
            std::fprintf(stderr, "The CoreFoundation stand-in did not load from %s\n",
                         qPrintable(mobiledevice_loader_frameworks_dir()));
            std::abort();
        }
        return true;
    }();
    Q_UNUSED(done);
}

QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}

QString scratchFolder()
{
    static QTemporaryDir* root = new QTemporaryDir;
    QDir dir(root->filePath(QStringLiteral("scratch")));
    dir.removeRecursively();
    QDir(root->path()).mkpath(QStringLiteral("scratch"));
    return dir.absolutePath();
}

namespace {

void walkAt(const CFType& value, int depth)
{
    if (depth > 64)
        return;
    (void)value.typeId();
    (void)value.toString();
    if (value.isCFString()) {
        (void)value.CFStringLength();
    } else if (value.isCFNumber()) {
        (void)value.CFNumberInt64(0);
        (void)value.CFNumberDouble(0);
        (void)value.CFNumberInt8(0);
    } else if (value.isCFDate()) {
        (void)value.CFDateToDateTime(QStringLiteral("Europe/Paris"));
        (void)value.CFDateToDateTime(3600);
    } else if (value.isCFData()) {
        (void)value.CFDataLength();
    } else if (value.isCFKeyedArchiverUID()) {
        (void)value.CFKeyedArchiverUIDGetValue();
    } else if (value.isCFDictionary()) {
        const QList<CFType> keys = value.dict_keys();
        for (const CFType& key : keys) {
            walkAt(key, depth + 1);
            walkAt(value.get(key), depth + 1);
        }
        (void)value.dict_size();
    } else if (value.isCFArray()) {
        const long size = value.array_size();
        for (long i = 0; i < size; ++i)
            walkAt(value.at(int(i)), depth + 1);
        (void)value.at(int(size));
    }
}

} // namespace

void walk(const CFType& value)
{
    walkAt(value, 0);
}

} // namespace fuzz

// Called by the engine before it counts the instrumented modules, so that
// the CoreFoundation stand-in, loaded at run time, is counted among them.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::init();
    return 0;
}
