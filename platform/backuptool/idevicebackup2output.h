// Reads the output of libimobiledevice's idevicebackup2 as it arrives: the
// device's overall progress and the failure it reports, as an error code of
// the tool.
//
// Lines relied on (ended by "\n" or "\r"):
//   "[=====     ]  45% Finished"                         overall progress
//   "ErrorCode 105: <text>"                               the device's error
//   "No device found..."                                  no such device
//   "ERROR: Could not connect to lockdownd, error code N" lockdown error N
//   "ERROR: Could not start service ..."
//   "ERROR: could not lock file..." / "...locking for sync"  another sync runs
//   "ERROR: Backup directory "..." does not exist!"
//   "User has cancelled the backup process on the device."
//   any other line holding "ERROR" or "Failed"            a failure
// File transfers print progress bars too ("] 12% (1.2 MB/10 MB)"); only the
// overall ones count, so that the percentage never runs backwards.
#pragma once

#include <functional>
#include <string>

namespace qsbt {

class Idevicebackup2Output
{
public:
    using Progress = std::function<void(double)>;
    explicit Idevicebackup2Output(Progress onProgress) : m_onProgress(std::move(onProgress)) {}

    void feed(const char* data, size_t len);
    // Ends the last line; the error code of the run for the program's exit
    // status (-1: killed by a signal): 0 only for a clean exit without any
    // failure seen.
    long long finish(int exitStatus);
    long long errorCode() const { return m_errorCode; }

    // The code of one line, 0 when it reports no failure; `fromDevice` tells
    // that the device itself named the error.
    static long long errorCodeOfLine(const std::string& line, bool& fromDevice);
    // The overall percentage of a progress line, or -1.
    static double progressOfLine(const std::string& line);

private:
    static constexpr size_t kMaxLine = 4096;
    void endLine();

    Progress m_onProgress;
    std::string m_line;
    long long m_errorCode = 0;
    bool m_errorFromDevice = false;
};

} // namespace qsbt
