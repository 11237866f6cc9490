// The commands on iTunes backups: writing chosen messages into a backup on
// the computer, and transferring them to an attached iPhone (a fresh backup
// of the phone, written into and restored). Each runs its steps one after the
// other behind their own dialogs, children of the parent widget, and stops at
// the first step that does not succeed; a failed step has shown its error
// through its dialog, a cancelled one ends the command silently.
#pragma once

#include <QCoreApplication>
#include <QList>

#include "abstreeitemmodel.h"

class ItemModelMain;
class QWidget;
struct _MsgMessage;

class ITunesCommands
{
    // The boxes' texts are the main window's.
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // `model` lists the devices a transfer may go to.
    ITunesCommands(ItemModelMain& model, QWidget* parent);

    // `current` is the source tree's current node: the messages belong to
    // its device or local database, which is kept alive while they are used.
    void exportToBackup(const QList<_MsgMessage*>& messages, const AbsTreeItemModel::_ItemNode* current);
    // The target is chosen among the attached devices other than the source.
    void transferToDevice(const QList<_MsgMessage*>& messages, const AbsTreeItemModel::_ItemNode* current);

private:
    ItemModelMain& m_model;
    QWidget* m_parent;
};
