// The commands on local databases. Filling them: backing chosen messages up
// into a local database the user picks or names, and importing every message
// of an iTunes backup into one; both end in the database chooser, the backup
// worker behind its progress dialog, and, after a successful run, the
// database's node read again. Deleting from them (localdbcommands_delete.cpp):
// the selected messages, one conversation, or a whole database folder, each
// after a question that names what goes; messages go in one transaction
// behind a progress dialog, and only after it committed, and after whatever
// shows them has let go, are they taken out of the loaded set. Dialogs are
// children of the parent widget.
#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <functional>

#include "abstreeitemmodel.h"

class ItemModelMain;
class QWidget;
class _LocalDBItemNode;
struct _MsgMessage;

class LocalDbCommands
{
    // The boxes' and steps' texts are the main window's.
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // `model` lists the local databases; new ones are added to it.
    LocalDbCommands(ItemModelMain& model, QWidget* parent);

    // The database's node, read again, after a successful backup; null when
    // the chooser was left or a step did not succeed. `current` is the source
    // tree's current node, whose messages are kept alive meanwhile.
    _LocalDBItemNode* backUp(const QString& defaultName, const QList<_MsgMessage*>& messages,
                             const AbsTreeItemModel::_ItemNode* current);
    // Every message of an iTunes backup the user picks, backed up as above;
    // `name` is the chooser's default, derived from the backup when empty.
    _LocalDBItemNode* importFromBackup(const QString& name, const AbsTreeItemModel::_ItemNode* current);

    // Called once the database has changed, before the loaded messages (and
    // a conversation's or database's node) are freed: whatever shows them
    // lets go of them.
    using LetGo = std::function<void()>;
    // Each answers true when something was deleted. `current` is the source
    // tree's current node: a local database or one of its conversations. The
    // list is taken by value: the one shown goes empty when the views let go.
    bool deleteSelected(const AbsTreeItemModel::_ItemNode* current, QList<_MsgMessage*> messages,
                        const LetGo& letGo);
    bool deleteConversation(const AbsTreeItemModel::_ItemNode* current, QList<_MsgMessage*> messages,
                            const LetGo& letGo);
    // The folder goes, then the node; false also when some of the folder
    // stayed, which the box has said.
    bool deleteDatabase(const AbsTreeItemModel::_ItemNode* current, const LetGo& letGo);

private:
    ItemModelMain& m_model;
    QWidget* m_parent;
};
