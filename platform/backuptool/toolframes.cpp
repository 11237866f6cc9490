#include "toolframes.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace qsbt {
namespace {

// Blocking transfers of whole buffers: `transfer(done)` moves the next bytes.
template <typename Transfer>
bool transferAll(size_t len, Transfer transfer)
{
    size_t done = 0;
    while (done < len) {
        const ssize_t n = transfer(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

bool readAll(int fd, char* buf, size_t len)
{
    return transferAll(len, [&](size_t done) { return read(fd, buf + done, len - done); });
}

} // namespace

qsmd::Plist readRequestFrame(int fd)
{
    int32_t len = 0;
    if (!readAll(fd, reinterpret_cast<char*>(&len), sizeof len) || len < 1 || len > kMaxRequestBytes)
        return nullptr;
    std::string body(size_t(len), '\0');
    if (!readAll(fd, &body[0], body.size()))
        return nullptr;
    plist_t request = nullptr;
    plist_from_memory(body.data(), uint32_t(body.size()), &request);
    return request ? qsmd::adoptPlist(request) : nullptr;
}

bool requestPipeClosed(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    int r;
    while ((r = poll(&p, 1, ms)) < 0 && errno == EINTR) {
    }
    if (r <= 0)
        return r < 0;
    char byte;
    ssize_t n;
    while ((n = read(fd, &byte, 1)) < 0 && errno == EINTR) {
    }
    return n <= 0;
}

bool ReplyWriter::writeAll(const char* data, size_t len)
{
    return transferAll(len, [&](size_t done) { return write(m_fd, data + done, len - done); });
}

bool ReplyWriter::sendLength(int length)
{
    const int32_t len = length;
    return writeAll(reinterpret_cast<const char*>(&len), sizeof len);
}

bool ReplyWriter::sendBody(const std::string& body)
{
    return sendLength(int(body.size())) && writeAll(body.data(), body.size());
}

bool ReplyWriter::send(plist_t reply)
{
    char* out = nullptr;
    uint32_t len = 0;
    if (m_binary)
        plist_to_bin(reply, &out, &len);
    else
        plist_to_xml(reply, &out, &len);
    const std::string body(out ? out : "", out ? len : 0);
    free(out);
    return !body.empty() && sendBody(body);
}

bool ReplyWriter::progress(double percent)
{
    const qsmd::Plist reply = qsmd::adoptPlist(plist_new_dict());
    plist_t value = percent == double(int64_t(percent)) ? plist_new_uint(uint64_t(int64_t(percent)))
                                                         : plist_new_real(percent);
    plist_dict_set_item(static_cast<plist_t>(reply.get()), "AMSBackupPercentageKey", value);
    return send(static_cast<plist_t>(reply.get()));
}

bool ReplyWriter::finish(long long errorCode)
{
    const qsmd::Plist reply = qsmd::adoptPlist(plist_new_dict());
    if (errorCode != 0)
        plist_dict_set_item(static_cast<plist_t>(reply.get()), "errorCode", plist_new_uint(uint64_t(errorCode)));
    return send(static_cast<plist_t>(reply.get()));
}

} // namespace qsbt
