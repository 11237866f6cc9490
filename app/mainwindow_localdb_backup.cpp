// The main window's commands that fill local databases: backing the chosen
// messages up into a local database the user picks or names, and importing
// every message of an iTunes backup into one. Both end in the same step: the
// database chooser, the backup worker behind its progress dialog, and, after
// a successful run, the database's node read again and made current.
#include "mainwindow.h"

#include "backupmanifest.h"
#include "backupsmsthread.h"
#include "data_path_util.h"
#include "ios6messagedb.h"
#include "itemmodelmain.h"
#include "itemmodelsms.h"
#include "itunesbackupsteps.h"
#include "localdbselform.h"
#include "operationsteps.h"
#include "progressform.h"
#include "progressrunner.h"
#include "tips.h"

#include <QtDebug>

namespace {

using Node = AbsTreeItemModel::_ItemNode;

// The first local database whose name equals `name` ignoring case.
_LocalDBItemNode* localDbNamed(const ItemModelMain& model, const QString& name)
{
    for (Node* child : model.rootLocalDb->childs)
        if (child->type == ITEMNODE_LOCALDB && child->text.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<_LocalDBItemNode*>(child);
    return nullptr;
}

} // namespace

void MainWindow::miBackupAll()
{
    const QList<_MsgMessage*> messages = curAllMessages();
    if (!messages.isEmpty())
        backupMessages(messages);
}

void MainWindow::miBackupChat()
{
    backupMessages(smsModel->messages());
}

void MainWindow::miBackupSel()
{
    backupMessages(selectedMessages());
}

void MainWindow::backupMessages(const QList<_MsgMessage*>& messages)
{
    const Node* node = currentSourceNode();
    if (node && node->type == ITEMNODE_CHAT_SESSION)
        node = node->parent;
    if (!node || (node->type != ITEMNODE_IOS_DEVICE && node->type != ITEMNODE_LOCALDB))
        return;
    backupMessages(node->text + QStringLiteral("_Backup"), messages);
}

void MainWindow::backupMessages(const QString& defaultName, const QList<_MsgMessage*>& messages)
{
    // The messages belong to the current node's set: held here, they outlive
    // a device node that goes while the dialogs run.
    const Node* current = currentSourceNode();
    if (current && current->type == ITEMNODE_CHAT_SESSION)
        current = current->parent;
    const MsgData keep = current && (current->type == ITEMNODE_IOS_DEVICE || current->type == ITEMNODE_LOCALDB)
                             ? static_cast<const _AbsDBItemNode*>(current)->data
                             : MsgData();

    QStringList names;
    for (const Node* child : mainModel->rootLocalDb->childs)
        names << child->text;
    LocalDbSelForm chooser(names, defaultName, this);
    const QString name = chooser.execGetDbName();
    if (name.isEmpty())
        return;

    _LocalDBItemNode* target = localDbNamed(*mainModel, name);
    if (!target) {
        // Nothing is written yet: the folder comes with the worker's first write.
        const QDir folder(g_localDbDir().absoluteFilePath(name));
        QSharedPointer<AbsMessageDb> db(new IOS6MessageDb(folder, _CountryInfo(), true));
        target = mainModel->addLocalDb(db, name);
    }
    const auto* targetDb = dynamic_cast<const AbsIOSMessageDb*>(target->db.data());
    if (!targetDb)
        return;
    // The worker writes through a connection of its own; the node's opens
    // again on its next use.
    target->db->close();
    bool done = false;
    {
        ProgressForm form(QString(), this);
        BackupSMSThread worker(messages, targetDb->folder(), _CountryInfo(), form, this);
        done = g_runWithProgress(form, worker);
    }
    if (!done)
        return;
    try {
        mainModel->clearChilds(target);
        target->db->messages(target->data, 0);
        mainModel->listChats(target);
        iniShowDSNode(target);
    } catch (const std::exception& e) {
        Tips::error(QString::fromUtf8(e.what()));
    }
}

void MainWindow::miImportItunes()
{
    importFromiTunes(QString());
}

void MainWindow::miImportToLocalDb()
{
    const Node* node = currentSourceNode();
    if (node && node->type == ITEMNODE_LOCALDB)
        importFromiTunes(node->text);
}

void MainWindow::importFromiTunes(const QString& name)
{
    using namespace ITunesBackupSteps;
    OperationSteps steps(QStringLiteral("Import SMS from iTunes Backup to Local Database"));
    try {
        steps.step(tr("Opening the chosen iTunes backup"));
        const QSharedPointer<BackupManifest> backup = chooseBackup(this);
        if (!backup)
            return;
        steps.step(tr("Copying the messages out of the backup %1").arg(backup->dir.absolutePath()));
        QDir cacheDir;
        if (!cacheBackup(*backup, this, cacheDir))
            return;
        // Both live until the backup below has finished with the messages.
        QSharedPointer<AbsMessageDb> db;
        MsgData data;
        steps.step(tr("Reading the messages copied into %1").arg(cacheDir.absolutePath()));
        readCachedMessages(cacheDir, db, data);
        const QString defaultName = name.isEmpty() ? backup->info.DeviceName + QStringLiteral("_Backup") : name;
        steps.step(tr("Backing the messages up into a local database"));
        backupMessages(defaultName, data.messages());
    } catch (const std::exception& e) {
        steps.fail(QString::fromUtf8(e.what()));
    }
}
