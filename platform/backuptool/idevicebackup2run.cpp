#include "idevicebackup2run.h"

#include "idevicebackup2output.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qsbt {
namespace {

// Starts the program with its output and errors into one pipe; the child's
// pid, or -1.
pid_t startProgram(const std::vector<std::string>& commandLine, int& outputFd)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return -1;
    std::vector<char*> argv;
    for (const std::string& arg : commandLine)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    if (child < 0) {
        close(out[0]);
        return -1;
    }
    outputFd = out[0];
    return child;
}

// The exit status, -1 for a death by a signal.
int waitProgram(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void stopProgram(pid_t child)
{
    kill(child, SIGTERM);
    for (int i = 0; i < 20; ++i) {
        if (waitpid(child, nullptr, WNOHANG) == child)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(child, SIGKILL);
    waitProgram(child);
}

} // namespace

std::vector<std::string> idevicebackup2CommandLine(const ToolRequest& request)
{
    const char* program = getenv("QUILLSPROUT_IDEVICEBACKUP2");
    std::vector<std::string> line = {program && *program ? program : "idevicebackup2", "-u", request.udid};
    if (!request.restore) {
        line.insert(line.end(), {"backup", request.root});
        return line;
    }
    line.insert(line.end(), {"-s", request.sourceUdid, "restore", "--system", "--settings"});
    if (request.hasPassword)
        line.insert(line.end(), {"--password", request.password});
    line.push_back(request.root);
    return line;
}

int runIdevicebackup2(const ToolRequest& request, ReplyWriter& replies, int requestFd)
{
    int outputFd = -1;
    const pid_t child = startProgram(idevicebackup2CommandLine(request), outputFd);
    if (child < 0)
        return replies.finish(kErrorFailed) ? 1 : 2;
    bool driverGone = false;
    Idevicebackup2Output output([&](double percent) { driverGone = driverGone || !replies.progress(percent); });
    while (!driverGone) {
        pollfd fds[2] = {{outputFd, POLLIN, 0}, {requestFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents && requestPipeClosed(requestFd, 0)) {
            driverGone = true;
            break;
        }
        if (!fds[0].revents)
            continue;
        char buf[4096];
        const ssize_t n = read(outputFd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        output.feed(buf, size_t(n));
    }
    close(outputFd);
    if (driverGone) {
        stopProgram(child);
        return 2;
    }
    const long long code = output.finish(waitProgram(child));
    return replies.finish(code) && code == 0 ? 0 : 1;
}

} // namespace qsbt
