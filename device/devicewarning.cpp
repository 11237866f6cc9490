#include "devicewarning.h"

#include <QtGlobal>
#include <mutex>

namespace {

std::mutex g_mutex;
DeviceWarningReporter g_reporter;

} // namespace

void g_setDeviceWarningReporter(DeviceWarningReporter reporter)
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_reporter = std::move(reporter);
}

void g_deviceWarning(const QString& text)
{
    DeviceWarningReporter reporter;
    {
        const std::lock_guard<std::mutex> lock(g_mutex);
        reporter = g_reporter;
    }
    if (reporter)
        reporter(text);
    else
        qWarning("%s", qUtf8Printable(text));
}
