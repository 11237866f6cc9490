// The commands that fill local databases: backing chosen messages up into a
// local database the user picks or names, and importing every message of an
// iTunes backup into one. Both end in the same step: the database chooser,
// the backup worker behind its progress dialog, and, after a successful run,
// the database's node read again. Dialogs are children of the parent widget.
#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>

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

private:
    ItemModelMain& m_model;
    QWidget* m_parent;
};
