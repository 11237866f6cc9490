// The pop-up menus of the source tree and of the message list, built anew
// for every request from the source tree's current node. Each entry calls a
// slot of the main window.
#pragma once

#include "abstreeitemmodel.h"

class MainWindow;
class QMenu;

// The menu of the node (the local-databases root, a device, a local
// database or a conversation), owned by the caller; null for the devices
// root and for no node. `deviceCount` enables the transfer entries.
QMenu* newSourceTreeMenu(const AbsTreeItemModel::_ItemNode* node, int deviceCount, MainWindow* window);
// The menu of the selected messages, by the owner of the listed messages (a
// device or a local database, directly or through a conversation); null
// otherwise.
QMenu* newMessageListMenu(const AbsTreeItemModel::_ItemNode* node, int deviceCount, MainWindow* window);
