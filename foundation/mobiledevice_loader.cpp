#include "mobiledevice_loader.h"

#include "makerserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QObject>

#include <QHash>

#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>

namespace {

const char* const kMobileDeviceFile = "libqs_mobiledevice.so";
const char* const kCoreFoundationFile = "libqs_corefoundation.so";

QLibrary& iTunesMobileDevice()
{
    static QLibrary library;
    return library;
}

QLibrary& CoreFoundation()
{
    static QLibrary library;
    return library;
}

QString& uwpiTunesPath()
{
    static QString path;
    return path;
}

// Addresses already found, per library. Every property-list value goes
// through these look-ups, and a dynamic-linker search per call made reading a
// large backup index a hundred times slower than the database underneath.
// Only names that resolved are kept, so a look-up made before the library
// loaded is made again later; loading anew forgets them all.
struct ResolvedNames
{
    std::mutex lock;
    QHash<QByteArray, void*> addresses;
};

ResolvedNames& resolvedNames(const QLibrary& library)
{
    static ResolvedNames mobileDevice;
    static ResolvedNames coreFoundation;
    return &library == &iTunesMobileDevice() ? mobileDevice : coreFoundation;
}

void forgetResolvedNames(QLibrary& library)
{
    ResolvedNames& names = resolvedNames(library);
    std::lock_guard<std::mutex> guard(names.lock);
    names.addresses.clear();
}

void* resolve(QLibrary& library, const char* name)
{
    if (!name || !library.isLoaded())
        return nullptr;
    ResolvedNames& names = resolvedNames(library);
    std::lock_guard<std::mutex> guard(names.lock);
    // Looked up through a view of the caller's text: no copy per call.
    const auto it = names.addresses.constFind(QByteArray::fromRawData(name, qsizetype(std::strlen(name))));
    if (it != names.addresses.constEnd())
        return *it;
    void* address = reinterpret_cast<void*>(library.resolve(name));
    if (address)
        names.addresses.insert(QByteArray(name), address);
    return address;
}

} // namespace

QString mobiledevice_loader_frameworks_dir()
{
    const QString configured = qEnvironmentVariable("QUILLSPROUT_FRAMEWORKS");
    if (!configured.isEmpty())
        return configured;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("frameworks"));
}

std::atomic<unsigned>& loadGeneration()
{
    static std::atomic<unsigned> generation{1};
    return generation;
}

unsigned mobiledevice_loader_generation()
{
    return loadGeneration().load(std::memory_order_acquire);
}

int mobiledevice_loader_ini(QString& error, QString path)
{
    // Addresses kept by callers are looked up again after this load.
    struct NextGeneration
    {
        ~NextGeneration() { loadGeneration().fetch_add(1, std::memory_order_acq_rel); }
    } nextGeneration;
    uwpiTunesPath() = path;
    forgetResolvedNames(iTunesMobileDevice());
    forgetResolvedNames(CoreFoundation());
    const QDir dir(mobiledevice_loader_frameworks_dir());
    iTunesMobileDevice().setFileName(dir.filePath(QLatin1String(kMobileDeviceFile)));
    CoreFoundation().setFileName(dir.filePath(QLatin1String(kCoreFoundationFile)));
    const QString failure =
        QObject::tr("Failed to load (Apple Mobile Device) framework. Please uninstall current version iTunes from your "
                    "computer first. Then download this <a href=\"%1\">iTunes</a> to install on your computer.")
            .arg(g_makerServerUrl(QStringLiteral("/itunes.html")).toString());
    const bool mobileDevice = iTunesMobileDevice().load();
    const bool coreFoundation = CoreFoundation().load();
    if (!coreFoundation) {
        error = failure;
        return -1;
    }
    if (!mobileDevice) {
        error = failure;
        return 0;
    }
    return 1;
}

bool mobiledevice_loader_is_loaded()
{
    return mobiledevice_loader_is_mobiledevice_loaded() && mobiledevice_loader_is_corefoundation_loaded();
}

bool mobiledevice_loader_is_mobiledevice_loaded()
{
    return iTunesMobileDevice().isLoaded();
}

bool mobiledevice_loader_is_corefoundation_loaded()
{
    return CoreFoundation().isLoaded();
}

QString mobiledevice_loader_ini_uwpiTunesPath()
{
    return uwpiTunesPath();
}

void* mobiledevice_loader_mf(const char* name)
{
    return resolve(iTunesMobileDevice(), name);
}

void* mobiledevice_loader_cf(const char* name)
{
    return resolve(CoreFoundation(), name);
}

void* mobiledevice_loader_mfThrow(const char* name)
{
    void* address = mobiledevice_loader_mf(name);
    if (!address)
        throw std::runtime_error(std::string("The device framework does not provide ") + (name ? name : "(null)")
                                 + ".");
    return address;
}
