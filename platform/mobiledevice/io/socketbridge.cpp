#include "socketbridge.h"

#include "socketio.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace qsmd {
namespace {

// One turn from the caller's socket to the device: false when the bridge ends.
bool pumpToDevice(int fd, BridgeChannel& channel, std::vector<char>& buf, const std::atomic<bool>& stop)
{
    const IoWait w = waitFd(fd, false, kPollSliceMs / 5, stop);
    if (w == IoWait::TimedOut)
        return true;
    if (w == IoWait::Failed)
        return false;
    const ssize_t n = recv(fd, buf.data(), buf.size(), 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return true;
    return n > 0 && channel.send(buf.data(), uint32_t(n)) == int(n);
}

// One turn from the device to the caller's socket.
bool pumpFromDevice(int fd, BridgeChannel& channel, std::vector<char>& buf, const std::atomic<bool>& stop)
{
    const int n = channel.receive(buf.data(), uint32_t(buf.size()), kPollSliceMs / 5);
    if (n == 0)
        return true;
    return n > 0 && writeAll(fd, buf.data(), size_t(n), stop);
}

} // namespace

int startSocketBridge(ThreadSet& threads, std::unique_ptr<BridgeChannel> channel)
{
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
        return -1;
    std::shared_ptr<BridgeChannel> shared(std::move(channel));
    const int farEnd = sv[1];
    threads.start([farEnd, shared](const std::atomic<bool>& stop) {
        std::vector<char> buf(kBridgeChunk);
        while (!stop.load() && pumpToDevice(farEnd, *shared, buf, stop)
               && pumpFromDevice(farEnd, *shared, buf, stop)) {
        }
        close(farEnd);
    });
    return sv[0];
}

} // namespace qsmd
