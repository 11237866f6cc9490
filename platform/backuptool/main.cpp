// AppleMobileBackup --pipe <request fd> <reply fd>: reads one request frame,
// answers with progress frames and a final reply (an empty dictionary on
// success, {errorCode: n} on failure). The simulated backend runs when
// QUILLSPROUT_DEVICE_SIM names a scenario, the real one otherwise.
#include "idevicebackup2run.h"
#include "simbackup.h"
#include "toolframes.h"
#include "toolrequest.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>

namespace {

bool descriptor(const char* text, int& fd)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < 0 || v > 1 << 20)
        return false;
    fd = int(v);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int requestFd = -1;
    int replyFd = -1;
    if (argc != 4 || std::strcmp(argv[1], "--pipe") != 0 || !descriptor(argv[2], requestFd)
        || !descriptor(argv[3], replyFd)) {
        std::fprintf(stderr, "usage: AppleMobileBackup --pipe <request fd> <reply fd>\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    // A device backup holds the phone's messages, contacts and keys: what
    // this tool writes is the user's alone (folders 0700, files 0600).
    ::umask(077);
    qsbt::ReplyWriter replies(replyFd);
    const qsmd::Plist raw = qsbt::readRequestFrame(requestFd);
    if (!raw)
        return 2;
    qsbt::ToolRequest request;
    std::string error;
    if (!qsbt::ToolRequest::parse(static_cast<plist_t>(raw.get()), request, error)) {
        std::fprintf(stderr, "AppleMobileBackup: %s\n", error.c_str());
        replies.finish(qsbt::kErrorBadRequest);
        return 1;
    }
    const char* scenario = std::getenv("QUILLSPROUT_DEVICE_SIM");
    if (scenario && *scenario)
        return qsbt::runSimulatedBackup(request, static_cast<plist_t>(raw.get()), scenario, replies, requestFd);
    return qsbt::runIdevicebackup2(request, replies, requestFd);
}
