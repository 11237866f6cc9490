#include "socketio.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace qsmd {

IoWait waitFd(int fd, bool forWriting, int ms, const std::atomic<bool>& stop)
{
    int waited = 0;
    while (!stop.load()) {
        const int slice = ms < 0 ? kPollSliceMs : (ms - waited < kPollSliceMs ? ms - waited : kPollSliceMs);
        pollfd p{fd, short(forWriting ? POLLOUT : POLLIN), 0};
        const int r = poll(&p, 1, slice);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return IoWait::Failed;
        if (r > 0)
            return IoWait::Ready; // errors and hang-ups show in the transfer that follows
        waited += slice;
        if (ms >= 0 && waited >= ms)
            return IoWait::TimedOut;
    }
    return IoWait::Failed;
}

namespace {

// The loop of both directions: `transfer(done)` moves the next bytes.
template <typename Transfer>
bool moveAll(int fd, bool forWriting, size_t len, const std::atomic<bool>& stop, Transfer transfer)
{
    size_t done = 0;
    while (done < len) {
        if (waitFd(fd, forWriting, -1, stop) != IoWait::Ready)
            return false;
        const ssize_t n = transfer(done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

bool readExact(int fd, char* buf, size_t len, const std::atomic<bool>& stop)
{
    return moveAll(fd, false, len, stop, [&](size_t done) { return recv(fd, buf + done, len - done, 0); });
}

bool writeAll(int fd, const char* buf, size_t len, const std::atomic<bool>& stop)
{
    return moveAll(fd, true, len, stop,
                   [&](size_t done) { return send(fd, buf + done, len - done, MSG_NOSIGNAL); });
}

} // namespace qsmd
