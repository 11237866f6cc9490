#include "idevicebackup2output.h"

#include "toolrequest.h"

#include <cstdlib>
#include <map>

namespace qsbt {
namespace {

// The device's backup error numbers the driver has texts for.
long long deviceErrorCode(long long deviceCode)
{
    static const std::map<long long, long long> table = {
        {104, kErrorUploadFailed},  {105, kErrorNoSpace},     {202, kErrorCancelledOnDevice},
        {205, kErrorBackupFolder},  {208, kErrorDeviceLocked}, {211, kErrorFindMyIPhone},
        {212, kErrorSetupUnfinished},
    };
    const auto it = table.find(deviceCode);
    return it == table.end() ? kErrorFailed : it->second;
}

long long lockdownErrorCode(long long lockdownCode)
{
    switch (lockdownCode) {
    case -17: // password protected
    case -35: // escrow locked
        return kErrorDeviceLocked;
    case -37: // Find My iPhone protected
        return kErrorFindMyIPhone;
    default:
        return kErrorConnectFailed;
    }
}

bool has(const std::string& line, const char* part)
{
    return line.find(part) != std::string::npos;
}

// The integer that follows `prefix` in the line.
bool integerAfter(const std::string& line, const char* prefix, long long& out)
{
    const size_t at = line.find(prefix);
    if (at == std::string::npos)
        return false;
    const char* start = line.c_str() + at + std::char_traits<char>::length(prefix);
    char* end = nullptr;
    out = std::strtoll(start, &end, 10);
    return end != start;
}

} // namespace

long long Idevicebackup2Output::errorCodeOfLine(const std::string& line, bool& fromDevice)
{
    long long number = 0;
    fromDevice = integerAfter(line, "ErrorCode ", number);
    if (fromDevice)
        return deviceErrorCode(number);
    if (integerAfter(line, "Could not connect to lockdownd, error code ", number))
        return lockdownErrorCode(number);
    if (has(line, "No device found"))
        return kErrorAttachFailed;
    if (has(line, "Could not start service"))
        return kErrorConnectFailed;
    if (has(line, "could not lock file") || has(line, "locking for sync"))
        return kErrorFilesInUse;
    if (has(line, "Backup directory") && has(line, "does not exist"))
        return kErrorBackupFolder;
    if (has(line, "User has cancelled the backup process on the device"))
        return kErrorCancelledOnDevice;
    if (has(line, "ERROR") || has(line, "Failed"))
        return kErrorFailed;
    return 0;
}

double Idevicebackup2Output::progressOfLine(const std::string& line)
{
    // "] " then the number, "%" and " Finished".
    const size_t percent = line.find("% Finished");
    const size_t bracket = line.rfind(']', percent);
    if (percent == std::string::npos || bracket == std::string::npos)
        return -1;
    const std::string number = line.substr(bracket + 1, percent - bracket - 1);
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    return end != number.c_str() && *end == '\0' && value >= 0 ? value : -1;
}

void Idevicebackup2Output::endLine()
{
    bool fromDevice = false;
    const long long code = errorCodeOfLine(m_line, fromDevice);
    // The first failure names the cause, unless the device names it later.
    if (code != 0 && (m_errorCode == 0 || (fromDevice && !m_errorFromDevice))) {
        m_errorCode = code;
        m_errorFromDevice = fromDevice;
    }
    const double percent = progressOfLine(m_line);
    if (percent >= 0)
        m_onProgress(percent > 100 ? 100 : percent);
    m_line.clear();
}

void Idevicebackup2Output::feed(const char* data, size_t len)
{
    for (size_t i = 0; i < len; ++i) {
        if (data[i] == '\n' || data[i] == '\r')
            endLine();
        else if (m_line.size() < kMaxLine)
            m_line += data[i];
    }
}

long long Idevicebackup2Output::finish(int exitStatus)
{
    endLine();
    if (exitStatus != 0 && m_errorCode == 0)
        m_errorCode = kErrorFailed;
    return m_errorCode;
}

} // namespace qsbt
