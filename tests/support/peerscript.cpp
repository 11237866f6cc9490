#include "peerscript.h"

namespace {

plist_t parse(const QByteArray& bytes)
{
    plist_t node = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &node);
    return node ? node : plist_new_string("unparsable script value");
}

} // namespace

PeerScript::PeerScript() : m_steps(plist_new_array()) {}

PeerScript::~PeerScript()
{
    plist_free(m_steps);
}

PeerScript& PeerScript::step(plist_t s)
{
    plist_array_append_item(m_steps, s);
    return *this;
}

PeerScript& PeerScript::send(const QByteArray& plist, bool binary)
{
    plist_t s = plist_new_dict();
    plist_dict_set_item(s, "Send", parse(plist));
    plist_dict_set_item(s, "Binary", plist_new_bool(binary));
    return step(s);
}

PeerScript& PeerScript::expect(const QByteArray& plist, int form)
{
    plist_t s = plist_new_dict();
    plist_dict_set_item(s, "Expect", parse(plist));
    if (form >= 0)
        plist_dict_set_item(s, "Binary", plist_new_bool(form == 1));
    return step(s);
}

PeerScript& PeerScript::expectAny()
{
    return step(plist_new_dict());
}

PeerScript& PeerScript::close()
{
    plist_t s = plist_new_dict();
    plist_dict_set_item(s, "Close", plist_new_bool(1));
    return step(s);
}

plist_t PeerScript::options() const
{
    plist_t options = plist_new_dict();
    plist_dict_set_item(options, "Script", plist_copy(m_steps));
    return options;
}
