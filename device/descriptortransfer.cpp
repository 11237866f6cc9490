#include "descriptortransfer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>

DescriptorWait waitDescriptor(int fd, short events, int ms, const std::atomic<bool>* cancel)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (cancel && *cancel)
            return DescriptorWait::Cancelled;
        int slice = -1;
        if (ms > 0) {
            slice = int(std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count());
            if (slice <= 0)
                return DescriptorWait::TimedOut;
        }
        if (cancel)
            slice = slice < 0 ? kCancelCheckMs : std::min(slice, kCancelCheckMs);
        pollfd p{fd, events, 0};
        const int r = poll(&p, 1, slice);
        if (r < 0 && errno == EINTR)
            continue;
        if (r != 0)
            return DescriptorWait::Ready;
        if (!cancel)
            return DescriptorWait::TimedOut;
    }
}

int transferAll(int fd, int len, short events, int ms, const std::atomic<bool>* cancel,
                const std::function<ssize_t(int done)>& step, TransferStop* why)
{
    TransferStop stop = TransferStop::Done;
    int done = 0;
    while (done < len) {
        const DescriptorWait w = waitDescriptor(fd, events, ms, cancel);
        if (w != DescriptorWait::Ready) {
            stop = w == DescriptorWait::Cancelled ? TransferStop::Cancelled : TransferStop::TimedOut;
            break;
        }
        const ssize_t n = step(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            stop = TransferStop::Ended;
            break;
        }
        done += int(n);
    }
    if (why)
        *why = stop;
    return done;
}
