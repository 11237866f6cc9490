#include "simbackup.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qsbt {
namespace {

using qsmd::item;
using qsmd::text;

long long integer(plist_t dict, const char* key)
{
    long long v = 0;
    qsmd::integer(dict, key, v);
    return v;
}

bool flag(plist_t dict, const char* key)
{
    return qsmd::flag(dict, key, false);
}

double number(plist_t node)
{
    if (plist_get_node_type(node) == PLIST_REAL) {
        double v = 0;
        plist_get_real_val(node, &v);
        return v;
    }
    uint64_t v = 0;
    plist_get_uint_val(node, &v);
    return double(static_cast<long long>(v));
}

std::string toXml(plist_t node)
{
    char* out = nullptr;
    uint32_t len = 0;
    plist_to_xml(node, &out, &len);
    const std::string xml(out ? out : "", out ? len : 0);
    free(out);
    return xml;
}

// Through a temporary file and a rename.
bool writeFile(const fs::path& path, const std::string& bytes)
{
    const fs::path tmp = path.string() + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out.write(bytes.data(), std::streamsize(bytes.size())) || !out.flush())
            return false;
    }
    std::error_code ec;
    fs::rename(tmp, path, ec);
    return !ec;
}

bool writePlist(const fs::path& path, plist_t dict)
{
    const qsmd::Plist owner = qsmd::adoptPlist(dict);
    return writeFile(path, toXml(dict));
}

plist_t dictOf(std::initializer_list<std::pair<const char*, plist_t>> items)
{
    plist_t d = plist_new_dict();
    for (const auto& kv : items)
        plist_dict_set_item(d, kv.first, kv.second);
    return d;
}

bool writeMinimalBackup(const fs::path& folder, const std::string& udid)
{
    const char* id = udid.c_str();
    return writePlist(folder / "Info.plist",
                      dictOf({{"Unique Identifier", plist_new_string(id)},
                              {"Target Identifier", plist_new_string(id)},
                              {"Device Name", plist_new_string("Simulated iPhone")}}))
        && writePlist(folder / "Manifest.plist",
                      dictOf({{"IsEncrypted", plist_new_bool(0)}, {"Version", plist_new_string("10.0")}}))
        && writePlist(folder / "Status.plist",
                      dictOf({{"IsFullBackup", plist_new_bool(1)},
                              {"SnapshotState", plist_new_string("finished")},
                              {"Version", plist_new_string("3.3")}}));
}

// The contents of `from` into `to`, replacing files of the same name;
// symbolic links are left out.
bool copyContents(const fs::path& from, const fs::path& to)
{
    std::error_code ec;
    if (!fs::is_directory(from, ec))
        return false;
    fs::create_directories(to, ec);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing
                           | fs::copy_options::skip_symlinks, ec);
    if (ec)
        return false;
    // A copy keeps the source's modes; what the tool writes is the user's
    // alone, as the umask of a real backup would make it.
    for (fs::recursive_directory_iterator it(to, ec), end; !ec && it != end; it.increment(ec))
        fs::permissions(it->path(), fs::perms::group_all | fs::perms::others_all, fs::perm_options::remove, ec);
    return !ec;
}

long long performBackup(const ToolRequest& request, plist_t behaviour)
{
    const fs::path folder = request.backupFolder();
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        return kErrorBackupFolder;
    const std::string source = text(behaviour, "SourceFolder");
    const bool written = source.empty() ? writeMinimalBackup(folder, request.udid) : copyContents(source, folder);
    return written ? 0 : kErrorFailed;
}

long long performRestore(const ToolRequest& request, plist_t behaviour)
{
    const fs::path folder = request.backupFolder();
    std::error_code ec;
    if (!fs::is_regular_file(folder / "Manifest.plist", ec))
        return kErrorFailed;
    const std::string target = text(behaviour, "RestoreInto");
    return target.empty() || copyContents(folder, target) ? 0 : kErrorFailed;
}

void waitUntilDriverCloses(int requestFd)
{
    while (!requestPipeClosed(requestFd, 1000)) {
    }
}

// The configured frames before the end; false when the driver went away.
bool sendFrames(plist_t behaviour, ReplyWriter& replies)
{
    const long long delayMs = integer(behaviour, "StepDelayMs");
    auto pause = [&] { std::this_thread::sleep_for(std::chrono::milliseconds(delayMs)); };
    if (plist_t steps = item(behaviour, "Progress", PLIST_ARRAY))
        for (uint32_t i = 0; i < plist_array_get_size(steps); ++i) {
            pause();
            if (!replies.progress(number(plist_array_get_item(steps, i))))
                return false;
        }
    if (plist_t messages = item(behaviour, "Messages", PLIST_ARRAY))
        for (uint32_t i = 0; i < plist_array_get_size(messages); ++i) {
            pause();
            if (!replies.send(plist_array_get_item(messages, i)))
                return false;
        }
    if (flag(behaviour, "Garbage")) {
        pause();
        return replies.sendBody("this is no property list");
    }
    return true;
}

} // namespace

int runSimulatedBackup(const ToolRequest& request, plist_t rawRequest, const std::string& scenarioPath,
                       ReplyWriter& replies, int requestFd)
{
    qsmd::SimScenario scenario;
    std::string error;
    if (!qsmd::SimScenario::load(scenarioPath, scenario, error)) {
        fprintf(stderr, "AppleMobileBackup: %s\n", error.c_str());
        return replies.finish(kErrorFailed) ? 1 : 2;
    }
    const qsmd::SimDevice* device = scenario.device(request.udid);
    if (!device)
        return replies.finish(kErrorAttachFailed) ? 1 : 2;
    plist_t behaviour = static_cast<plist_t>(device->backupTool.get());
    replies.setBinary(flag(behaviour, "BinaryReplies"));
    const std::string log = text(behaviour, "RequestLog");
    if (!log.empty())
        writeFile(log, toXml(rawRequest));
    if (!sendFrames(behaviour, replies))
        return 2;
    const std::string end = text(behaviour, "End");
    if (end == "crash")
        _exit(70);
    if (end == "exit")
        return 0;
    if (end == "oversized")
        replies.sendLength(0x7fffffff);
    if (end == "stall" || end == "oversized") {
        waitUntilDriverCloses(requestFd);
        return 2;
    }
    long long code = integer(behaviour, "ErrorCode");
    if (code == 0)
        code = request.restore ? performRestore(request, behaviour) : performBackup(request, behaviour);
    return replies.finish(code) && code == 0 ? 0 : 1;
}

} // namespace qsbt
