// Blocking transfers over a stream socket for the stand-in's own threads
// (simulated peers, the SSL bridge): waits use poll in short slices so that
// a stop flag ends them, EINTR is retried, and sending never raises SIGPIPE.
#pragma once

#include <atomic>
#include <cstddef>

namespace qsmd {

// One poll slice: how long a thread may take to notice its stop flag.
constexpr int kPollSliceMs = 50;

enum class IoWait { Ready, TimedOut, Failed };

// Waits until `fd` is readable (or writable) for at most `ms` (below 0: no
// limit), giving up when `stop` is set.
IoWait waitFd(int fd, bool forWriting, int ms, const std::atomic<bool>& stop);

// All `len` bytes, or false when the peer closed, an error occurred or
// `stop` was set.
bool readExact(int fd, char* buf, size_t len, const std::atomic<bool>& stop);
bool writeAll(int fd, const char* buf, size_t len, const std::atomic<bool>& stop);

} // namespace qsmd
