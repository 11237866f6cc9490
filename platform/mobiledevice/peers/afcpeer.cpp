// The "afc" peer: an AFC file server over the folder named by its option
// "Root", for tests of the AFC client. Device paths are taken relative to
// that folder and refused (status 7) when they would leave it. It lists
// folders, gives file attributes, opens, reads, writes, locks and closes
// files, removes, renames and makes paths; anything else gets status 7.
//
// Request (integers little-endian), as the client sends it:
//   OFFSET SIZE          MEANING
//   0      8             "CFA6LPAA"
//   8      8             entire_length (header + payload + data)
//   16     8             this_length (header + payload)
//   24     8             packet number (not read)
//   32     8             operation
//   40     this - 40     payload: paths NUL-ended, handles and sizes 8 bytes
//   this   entire - this data of a file write
// Replies: status (op 1, 8-byte code: 0 success, 7 bad request or path,
// 8 no such object, 4 other failure), data (op 2) or a handle (op 14).
#include "simpeer.h"
#include "socketio.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uint64_t kHeader = 40;
constexpr uint64_t kMaxRequest = 16u * 1024 * 1024;
constexpr uint64_t kMaxReadReply = 1024 * 1024;
constexpr uint64_t kBadRequest = 7, kNotFound = 8, kFailed = 4;

uint64_t le64(const std::string& bytes, size_t offset)
{
    uint64_t v = 0;
    for (size_t i = 0; i < 8 && offset + i < bytes.size(); ++i)
        v |= uint64_t(uint8_t(bytes[offset + i])) << (8 * i);
    return v;
}

void putLe64(std::string& out, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(char(v >> (8 * i)));
}

struct Server
{
    Server(qsmd::SimPeerContext& c, std::string r) : ctx(c), root(std::move(r)) {}

    qsmd::SimPeerContext& ctx;
    std::string root;
    std::map<uint64_t, int> files;
    uint64_t nextHandle = 1;

    ~Server()
    {
        for (const auto& f : files)
            close(f.second);
    }

    bool reply(uint64_t op, const std::string& body)
    {
        std::string out("CFA6LPAA", 8);
        putLe64(out, kHeader + body.size());
        putLe64(out, kHeader + body.size());
        putLe64(out, 0);
        putLe64(out, op);
        out += body;
        return qsmd::writePeerBytes(ctx, out.data(), out.size());
    }

    bool status(uint64_t code)
    {
        std::string body;
        putLe64(body, code);
        return reply(1, body);
    }

    static uint64_t errnoStatus() { return errno == ENOENT || errno == ENOTDIR ? kNotFound : kFailed; }

    // The host path of a device path, or false when it would leave the root.
    bool hostPath(const std::string& devicePath, std::string& out) const
    {
        std::vector<std::string> parts;
        size_t start = 0;
        while (start <= devicePath.size()) {
            const size_t end = std::min(devicePath.find('/', start), devicePath.size());
            const std::string part = devicePath.substr(start, end - start);
            if (part == "..") {
                if (parts.empty())
                    return false;
                parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            start = end + 1;
        }
        out = root;
        for (const std::string& part : parts)
            out += "/" + part;
        return true;
    }

    // The NUL-ended strings of the payload from `offset`.
    static bool strings(const std::string& payload, size_t offset, size_t count, std::vector<std::string>& out)
    {
        for (size_t i = 0; i < count; ++i) {
            const size_t end = payload.find('\0', offset);
            if (end == std::string::npos)
                return false;
            out.push_back(payload.substr(offset, end - offset));
            offset = end + 1;
        }
        return true;
    }

    bool hostPaths(const std::string& payload, size_t offset, size_t count, std::vector<std::string>& out) const
    {
        std::vector<std::string> device;
        if (!strings(payload, offset, count, device))
            return false;
        for (const std::string& d : device) {
            std::string host;
            if (!hostPath(d, host))
                return false;
            out.push_back(host);
        }
        return true;
    }

    bool listDir(const std::string& path)
    {
        DIR* dir = opendir(path.c_str());
        if (!dir)
            return status(errnoStatus());
        std::vector<std::string> names;
        while (dirent* e = readdir(dir))
            names.push_back(e->d_name);
        closedir(dir);
        std::sort(names.begin(), names.end());
        std::string body;
        for (const std::string& n : names)
            body += n + '\0';
        return reply(2, body);
    }

    static const char* typeText(mode_t mode)
    {
        if (S_ISREG(mode))
            return "S_IFREG";
        if (S_ISDIR(mode))
            return "S_IFDIR";
        if (S_ISLNK(mode))
            return "S_IFLNK";
        return "S_IFIFO";
    }

    bool fileInfo(const std::string& path)
    {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            return status(errnoStatus());
        const uint64_t mtimeNs = uint64_t(st.st_mtim.tv_sec) * 1000000000ull + uint64_t(st.st_mtim.tv_nsec);
        const std::string body = std::string("st_size") + '\0' + std::to_string(st.st_size) + '\0' + "st_nlink"
                                 + '\0' + std::to_string(st.st_nlink) + '\0' + "st_ifmt" + '\0' + typeText(st.st_mode)
                                 + '\0' + "st_mtime" + '\0' + std::to_string(mtimeNs) + '\0';
        return reply(2, body);
    }

    static int openFlags(uint64_t mode)
    {
        switch (mode) {
        case 1: return O_RDONLY;
        case 2: return O_RDWR | O_CREAT;
        case 3: return O_WRONLY | O_CREAT | O_TRUNC;
        case 4: return O_RDWR | O_CREAT | O_TRUNC;
        case 5: return O_WRONLY | O_CREAT | O_APPEND;
        case 6: return O_RDWR | O_CREAT | O_APPEND;
        default: return -1;
        }
    }

    bool openFile(uint64_t mode, const std::string& path)
    {
        const int flags = openFlags(mode);
        if (flags < 0)
            return status(kBadRequest);
        const int fd = open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0)
            return status(errnoStatus());
        const uint64_t handle = nextHandle++;
        files[handle] = fd;
        std::string body;
        putLe64(body, handle);
        return reply(14, body);
    }

    int fileOf(uint64_t handle) const
    {
        const auto it = files.find(handle);
        return it == files.end() ? -1 : it->second;
    }

    bool readFile(uint64_t handle, uint64_t count)
    {
        const int fd = fileOf(handle);
        if (fd < 0)
            return status(kBadRequest);
        std::string body(std::min(count, kMaxReadReply), '\0');
        const ssize_t n = read(fd, &body[0], body.size());
        if (n < 0)
            return status(kFailed);
        body.resize(size_t(n));
        return reply(2, body);
    }

    bool writeFile(uint64_t handle, const std::string& data)
    {
        const int fd = fileOf(handle);
        if (fd < 0)
            return status(kBadRequest);
        return status(write(fd, data.data(), data.size()) == ssize_t(data.size()) ? 0 : kFailed);
    }

    bool closeFile(uint64_t handle)
    {
        const int fd = fileOf(handle);
        if (fd < 0)
            return status(kBadRequest);
        close(fd);
        files.erase(handle);
        return status(0);
    }

    static int removePath(const std::string& path)
    {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            return -1;
        return S_ISDIR(st.st_mode) ? rmdir(path.c_str()) : unlink(path.c_str());
    }

    static int makeDir(const std::string& path)
    {
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return 0;
        return mkdir(path.c_str(), 0755);
    }

    bool pathRequest(uint64_t op, const std::string& payload)
    {
        std::vector<std::string> paths;
        if (!hostPaths(payload, 0, op == 24 ? 2 : 1, paths))
            return status(kBadRequest);
        switch (op) {
        case 3: return listDir(paths[0]);
        case 10: return fileInfo(paths[0]);
        case 8: return status(removePath(paths[0]) == 0 ? 0 : errnoStatus());
        case 9: return status(makeDir(paths[0]) == 0 ? 0 : errnoStatus());
        default: return status(rename(paths[0].c_str(), paths[1].c_str()) == 0 ? 0 : errnoStatus());
        }
    }

    bool serve(uint64_t op, const std::string& payload, const std::string& data)
    {
        switch (op) {
        case 3:
        case 8:
        case 9:
        case 10:
        case 24:
            return pathRequest(op, payload);
        case 13: {
            std::vector<std::string> paths;
            if (payload.size() < 8 || !hostPaths(payload, 8, 1, paths))
                return status(kBadRequest);
            return openFile(le64(payload, 0), paths[0]);
        }
        case 15: return readFile(le64(payload, 0), le64(payload, 8));
        case 16: return writeFile(le64(payload, 0), data);
        case 20: return closeFile(le64(payload, 0));
        case 27: return status(fileOf(le64(payload, 0)) < 0 ? kBadRequest : 0);
        default: return status(kBadRequest);
        }
    }

    void run()
    {
        for (;;) {
            std::string header(kHeader, '\0');
            if (!qsmd::readExact(ctx.fd, &header[0], kHeader, ctx.stop) || header.compare(0, 8, "CFA6LPAA") != 0)
                return;
            const uint64_t entire = le64(header, 8), thisLength = le64(header, 16);
            if (thisLength < kHeader || entire < thisLength || entire > kMaxRequest)
                return;
            std::string payload(thisLength - kHeader, '\0'), data(entire - thisLength, '\0');
            if (!qsmd::readExact(ctx.fd, &payload[0], payload.size(), ctx.stop)
                || !qsmd::readExact(ctx.fd, &data[0], data.size(), ctx.stop))
                return;
            if (!serve(le64(header, 32), payload, data))
                return;
        }
    }
};

void runAfc(qsmd::SimPeerContext& ctx)
{
    const std::string root = qsmd::peerOptionText(ctx, "Root");
    if (root.empty())
        return;
    Server server(ctx, root);
    server.run();
}

} // namespace

QSMD_SIM_PEER("afc", runAfc);
