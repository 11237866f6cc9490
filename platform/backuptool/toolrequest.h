// The request the tool reads, checked and reduced to what both backends
// need, and the error codes the tool answers with.
//
// Backup request (a dictionary):
//   AMSRequestKey                "AMSBackupRequest"
//   AMSTargetIdentifierKey       the device's unique device id
//   AMSBackupOptionsKey          dictionary: RootDirectory (absolute path)
// Restore request:
//   AMSRequestKey                "AMSRestoreWithApplicationsRequest"
//   AMSTargetIdentifierKey       the device's unique device id
//   AMSSourceTargetIdentifierKey the device whose backup is restored
//   AMSRestoreRestoreOptionsKey  dictionary: RootDirectory, Password (only
//                                for an encrypted backup, never empty),
//                                RestoreDontCopyBackup
// The backup lives in RootDirectory/<unique device id>.
#pragma once

#include "simscenario.h"

#include <string>

namespace qsbt {

// Error codes of the final reply; the driver knows each by its text.
constexpr long long kErrorFilesInUse = -1;
constexpr long long kErrorConnectFailed = -2;
constexpr long long kErrorAttachFailed = -10;
constexpr long long kErrorBackupFolder = -20; // backup: folder not made; restore: digest mismatch
constexpr long long kErrorCancelledOnDevice = -21;
constexpr long long kErrorUploadFailed = -30;
constexpr long long kErrorDeviceLocked = -35;
constexpr long long kErrorNoSpace = -36;
constexpr long long kErrorFindMyIPhone = -37;
constexpr long long kErrorSetupUnfinished = -38;
// The tool's own codes, shown with the driver's general advice.
constexpr long long kErrorBadRequest = -100;
constexpr long long kErrorFailed = -101;

struct ToolRequest
{
    bool restore = false;
    std::string udid;
    std::string sourceUdid; // restore only
    std::string root;
    bool hasPassword = false;
    std::string password;

    std::string backupFolder() const { return root + "/" + udid; }
    // False with `error` set when a key is missing, of the wrong type or
    // empty where a value is required.
    static bool parse(plist_t request, ToolRequest& out, std::string& error);
};

} // namespace qsbt
