// The simulated backend of the backup tool (QUILLSPROUT_DEVICE_SIM is set):
// it plays what the scenario says of the request's device and writes or
// reads the backup folder on disk, so that backup, restore and transfer run
// end to end in tests.
//
// Scenario keys, per device of Devices (see simscenario.h), all optional:
//   BackupTool     dictionary:
//     Progress       array of numbers (integer or real): percentages sent in
//                    order, each as {AMSBackupPercentageKey: n}
//     Messages       array of any values, each sent as it is, after the
//                    progress
//     Garbage        boolean: then one frame whose body is no property list
//     StepDelayMs    integer: pause before each of these frames
//     BinaryReplies  boolean: replies as binary property lists (default XML)
//     ErrorCode      integer, not 0: the run fails with it; nothing is
//                    written
//     End            string, how the run ends after the frames above:
//                      "reply"     (default) the final reply
//                      "crash"     the tool dies without a final reply
//                      "exit"      the tool exits cleanly without one
//                      "stall"     silence until the driver closes its pipes
//                      "oversized" a frame header announcing more than any
//                                  reply may hold, then silence
//     SourceFolder   string: a backup copies this folder's contents into
//                    RootDirectory/<udid> (a prepared backup); without it a
//                    minimal backup (Info.plist, Manifest.plist,
//                    Status.plist) is written
//     RestoreInto    string: a restore copies RootDirectory/<udid> into this
//                    folder, standing for what reached the device
//     RequestLog     string: the request received is written there as XML
// A device missing from the scenario fails with kErrorAttachFailed; a
// restore without Manifest.plist in the backup folder with kErrorFailed.
#pragma once

#include "toolframes.h"
#include "toolrequest.h"

namespace qsbt {

// The tool's exit status.
int runSimulatedBackup(const ToolRequest& request, plist_t rawRequest, const std::string& scenarioPath,
                       ReplyWriter& replies, int requestFd);

} // namespace qsbt
