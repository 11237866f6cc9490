// The tool's side of the pipe protocol: one request frame read from the
// request descriptor, reply frames written to the reply descriptor.
//
// Frame, both directions:
//   OFFSET SIZE    MEANING
//   0      4       body length N, signed 32-bit in the machine's byte order
//   4      N       body: a property list (requests XML, replies XML or binary)
#pragma once

#include "simscenario.h"

#include <string>

namespace qsbt {

// The longest request body the tool accepts.
constexpr int kMaxRequestBytes = 1024 * 1024;

// The request, or null when the pipe ended, the length is out of range or
// the body is no property list.
qsmd::Plist readRequestFrame(int fd);

// True once the driver closed its end of the request pipe (it never writes
// after the request), waiting at most `ms`.
bool requestPipeClosed(int fd, int ms);

class ReplyWriter
{
public:
    explicit ReplyWriter(int fd) : m_fd(fd) {}
    void setBinary(bool binary) { m_binary = binary; }

    bool send(plist_t reply);
    bool progress(double percent);
    // An empty dictionary for 0, else a dictionary holding "errorCode".
    bool finish(long long errorCode);
    // A frame of exactly these body bytes, and a bare length header.
    bool sendBody(const std::string& body);
    bool sendLength(int length);

private:
    bool writeAll(const char* data, size_t len);
    int m_fd;
    bool m_binary = false;
};

} // namespace qsbt
