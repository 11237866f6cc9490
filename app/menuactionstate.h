// Which message operations the source tree's current node allows, for the
// File menu, the toolbar and the context menus alike.
#pragma once

#include "abstreeitemmodel.h"

// The node whose messages an operation takes: a device or a local database
// itself, the parent of a conversation; null for the roots and for no node.
const AbsTreeItemModel::_ItemNode* messageOwner(const AbsTreeItemModel::_ItemNode* node);

struct MenuActionState
{
    bool backup = false;
    bool i2i = false;  // to another iPhone: needs a second device node
    bool db2i = false; // from a local database to an iPhone: needs a device node
    bool exportSms = false;
    bool print = false;
    bool del = false;  // local databases only
};

// `deviceCount`: the device nodes under the devices root, saved ones too.
MenuActionState menuActionState(const AbsTreeItemModel::_ItemNode* node, int deviceCount);
