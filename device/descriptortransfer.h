// The one wait-and-transfer loop over a socket or pipe descriptor: poll
// before each step, retry on EINTR, stop at the end of the stream, an error,
// a time-out or a cancel. The service clients and the backup-tool driver both
// move their bytes through it.
#pragma once

#include <QtGlobal>
#include <atomic>
#include <functional>
#include <sys/types.h>

// How often a wait looks at its cancel flag.
constexpr int kCancelCheckMs = 200;

enum class DescriptorWait { Ready, TimedOut, Cancelled };

// Waits until `fd` is ready for `events` (POLLIN, POLLOUT), at most `ms` (0 or
// below: no limit), ending early once `cancel` (when given) is set. A failed
// poll counts as ready: the transfer that follows tells.
DescriptorWait waitDescriptor(int fd, short events, int ms, const std::atomic<bool>* cancel);

// Why transferAll moved fewer bytes than asked.
enum class TransferStop { Done, TimedOut, Ended, Cancelled };

// Moves up to `len` bytes: before each step waits as above, then calls
// `step(done)`, which transfers from offset `done` and returns what read,
// recv or send return. Returns the bytes moved; `why` (when given) says what
// stopped it.
int transferAll(int fd, int len, short events, int ms, const std::atomic<bool>* cancel,
                const std::function<ssize_t(int done)>& step, TransferStop* why = nullptr);
