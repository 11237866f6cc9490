// The "script" peer: plays the device side of a framed-message service from
// the steps of its option "Script" (an array of dictionaries), in order:
//   {"Send": value, "Binary": bool}  sends the value (XML unless Binary)
//   {"Expect": value, "Binary": bool} reads one message and compares it
//                                    with the value (dictionaries whatever
//                                    their key order) and, when "Binary" is
//                                    given, its form; without "Expect" any
//                                    message passes
//   {"Close": true}                  ends the peer, closing the connection
// After the last step every message is answered with the string
// "ScriptComplete". A message that does not match is answered at once, and
// every later one too, with {"ScriptMismatch": step, "Expected": value,
// "Received": value}, so that the caller's next read or a final check shows
// what went wrong. The scripted DeviceLink, mobilebackup2, mobilesync and
// notification-proxy peers are all this one.
#include "simpeer.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool samePlist(plist_t a, plist_t b);

bool sameDict(plist_t a, plist_t b)
{
    if (plist_dict_get_size(a) != plist_dict_get_size(b))
        return false;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(a, &it);
    bool same = true;
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(a, it, &key, &value);
        if (!key)
            break;
        same = same && samePlist(value, plist_dict_get_item(b, key));
        free(key);
    }
    free(it);
    return same;
}

bool samePlist(plist_t a, plist_t b)
{
    if (!a || !b)
        return a == b;
    const plist_type type = plist_get_node_type(a);
    if (type != plist_get_node_type(b))
        return false;
    if (type == PLIST_DICT)
        return sameDict(a, b);
    if (type == PLIST_ARRAY) {
        const uint32_t n = plist_array_get_size(a);
        if (n != plist_array_get_size(b))
            return false;
        for (uint32_t i = 0; i < n; ++i) {
            if (!samePlist(plist_array_get_item(a, i), plist_array_get_item(b, i)))
                return false;
        }
        return true;
    }
    return plist_compare_node_value(a, b) != 0;
}

bool flagOf(plist_t step, const char* key, bool def)
{
    plist_t node = plist_dict_get_item(step, key);
    if (!node || plist_get_node_type(node) != PLIST_BOOLEAN)
        return def;
    uint8_t v = 0;
    plist_get_bool_val(node, &v);
    return v != 0;
}

qsmd::Plist mismatchReport(uint32_t step, plist_t expected, plist_t received, const char* why)
{
    plist_t report = plist_new_dict();
    plist_dict_set_item(report, "ScriptMismatch", plist_new_uint(step));
    plist_dict_set_item(report, "Why", plist_new_string(why));
    if (expected)
        plist_dict_set_item(report, "Expected", plist_copy(expected));
    if (received)
        plist_dict_set_item(report, "Received", plist_copy(received));
    return qsmd::adoptPlist(report);
}

// Empty when the message meets the step, else the report.
qsmd::Plist check(uint32_t index, plist_t step, const qsmd::Plist& message, bool binary)
{
    plist_t expected = plist_dict_get_item(step, "Expect");
    plist_t received = static_cast<plist_t>(message.get());
    if (expected && !samePlist(expected, received))
        return mismatchReport(index, expected, received, "content");
    if (plist_dict_get_item(step, "Binary") && flagOf(step, "Binary", false) != binary)
        return mismatchReport(index, expected, received, binary ? "sent binary" : "sent XML");
    return qsmd::Plist();
}

// Answers every further message with `answer` until the caller closes.
void answerAll(qsmd::SimPeerContext& ctx, plist_t answer)
{
    qsmd::Plist ignored;
    while (qsmd::readPeerFrame(ctx, ignored)) {
        if (!qsmd::writePeerFrame(ctx, answer, false))
            return;
    }
}

void runScript(qsmd::SimPeerContext& ctx)
{
    plist_t script = plist_dict_get_item(ctx.options, "Script");
    const uint32_t steps = script && plist_get_node_type(script) == PLIST_ARRAY ? plist_array_get_size(script) : 0;
    for (uint32_t i = 0; i < steps; ++i) {
        plist_t step = plist_array_get_item(script, i);
        if (flagOf(step, "Close", false))
            return;
        if (plist_t value = plist_dict_get_item(step, "Send")) {
            if (!qsmd::writePeerFrame(ctx, value, flagOf(step, "Binary", false)))
                return;
            continue;
        }
        qsmd::Plist message;
        bool binary = false;
        if (!qsmd::readPeerFrame(ctx, message, &binary))
            return;
        if (const qsmd::Plist report = check(i, step, message, binary)) {
            if (qsmd::writePeerFrame(ctx, static_cast<plist_t>(report.get()), false))
                answerAll(ctx, static_cast<plist_t>(report.get()));
            return;
        }
    }
    const qsmd::Plist complete = qsmd::adoptPlist(plist_new_string("ScriptComplete"));
    answerAll(ctx, static_cast<plist_t>(complete.get()));
}

} // namespace

QSMD_SIM_PEER("script", runScript);
