#include "toolrequest.h"

#include <cstdlib>

namespace qsbt {
namespace {

// The text under `key`, false when there is none.
bool text(plist_t dict, const char* key, std::string& out)
{
    if (!qsmd::item(dict, key, PLIST_STRING))
        return false;
    out = qsmd::text(dict, key);
    return true;
}

plist_t dict(plist_t parent, const char* key)
{
    return qsmd::item(parent, key, PLIST_DICT);
}

} // namespace

bool ToolRequest::parse(plist_t request, ToolRequest& out, std::string& error)
{
    if (!request || plist_get_node_type(request) != PLIST_DICT) {
        error = "the request is not a dictionary";
        return false;
    }
    ToolRequest r;
    std::string kind;
    text(request, "AMSRequestKey", kind);
    plist_t options = nullptr;
    if (kind == "AMSBackupRequest") {
        options = dict(request, "AMSBackupOptionsKey");
    } else if (kind == "AMSRestoreWithApplicationsRequest") {
        r.restore = true;
        options = dict(request, "AMSRestoreRestoreOptionsKey");
        if (!text(request, "AMSSourceTargetIdentifierKey", r.sourceUdid) || r.sourceUdid.empty()) {
            error = "the restore request names no source device";
            return false;
        }
        r.hasPassword = text(options, "Password", r.password);
        if (r.hasPassword && r.password.empty()) {
            error = "the restore request carries an empty password";
            return false;
        }
    } else {
        error = "unknown request \"" + kind + "\"";
        return false;
    }
    if (!text(request, "AMSTargetIdentifierKey", r.udid) || r.udid.empty() || r.udid.find('/') != std::string::npos
        || r.udid == "." || r.udid == "..") {
        error = "the request names no valid device";
        return false;
    }
    if (!text(options, "RootDirectory", r.root) || r.root.empty() || r.root[0] != '/') {
        error = "the request names no absolute RootDirectory";
        return false;
    }
    out = r;
    return true;
}

} // namespace qsbt
