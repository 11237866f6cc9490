#include "menuactionstate.h"

#include "itemmodelmain.h"

const AbsTreeItemModel::_ItemNode* messageOwner(const AbsTreeItemModel::_ItemNode* node)
{
    if (!node)
        return nullptr;
    if (node->type == ITEMNODE_CHAT_SESSION)
        node = node->parent;
    if (node && (node->type == ITEMNODE_IOS_DEVICE || node->type == ITEMNODE_LOCALDB))
        return node;
    return nullptr;
}

MenuActionState menuActionState(const AbsTreeItemModel::_ItemNode* node, int deviceCount)
{
    MenuActionState state;
    const AbsTreeItemModel::_ItemNode* owner = messageOwner(node);
    if (!owner)
        return state;
    const bool device = owner->type == ITEMNODE_IOS_DEVICE;
    state.i2i = device && deviceCount > 1;
    state.db2i = !device && deviceCount > 0;
    state.backup = device;
    state.exportSms = true;
    state.print = true;
    state.del = !device;
    return state;
}
