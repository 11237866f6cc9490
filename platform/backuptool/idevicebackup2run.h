// The real backend of the backup tool: runs libimobiledevice's
// idevicebackup2 (QUILLSPROUT_IDEVICEBACKUP2 names another program, as tests
// do) for the request, passes its overall progress on as percentage frames
// and ends with the final reply. When the driver closes its pipes (cancel)
// the program is stopped; it also gets SIGTERM should the tool die.
#pragma once

#include "toolframes.h"
#include "toolrequest.h"

#include <string>
#include <vector>

namespace qsbt {

// The program and its arguments for the request.
std::vector<std::string> idevicebackup2CommandLine(const ToolRequest& request);

// The tool's exit status.
int runIdevicebackup2(const ToolRequest& request, ReplyWriter& replies, int requestFd);

} // namespace qsbt
