#include "localdbcommands.h"

#include "backupmanifest.h"
#include "backupsmsthread.h"
#include "data_path_util.h"
#include "ios6messagedb.h"
#include "itemmodelmain.h"
#include "itunesbackupsteps.h"
#include "localdbselform.h"
#include "menuactionstate.h"
#include "operationsteps.h"
#include "progressform.h"
#include "progressrunner.h"
#include "tips.h"

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

LocalDbCommands::LocalDbCommands(ItemModelMain& model, QWidget* parent)
    : m_model(model)
    , m_parent(parent)
{
}

_LocalDBItemNode* LocalDbCommands::backUp(const QString& defaultName, const QList<_MsgMessage*>& messages,
                                          const Node* current)
{
    // The messages belong to the current node's set: held here, they outlive
    // a device node that goes while the dialogs run.
    const Node* owner = messageOwner(current);
    const MsgData keep = owner ? static_cast<const _AbsDBItemNode*>(owner)->data : MsgData();

    QStringList names;
    for (const Node* child : m_model.rootLocalDb->childs)
        names << child->text;
    LocalDbSelForm chooser(names, defaultName, m_parent);
    const QString name = chooser.execGetDbName();
    if (name.isEmpty())
        return nullptr;

    _LocalDBItemNode* target = localDbNamed(m_model, name);
    if (!target) {
        // Nothing is written yet: the folder comes with the worker's first write.
        const QDir folder(g_localDbDir().absoluteFilePath(name));
        QSharedPointer<AbsMessageDb> db(new IOS6MessageDb(folder, _CountryInfo(), true));
        target = m_model.addLocalDb(db, name);
    }
    const auto* targetDb = dynamic_cast<const AbsIOSMessageDb*>(target->db.data());
    if (!targetDb)
        return nullptr;
    // The worker writes through a connection of its own; the node's opens
    // again on its next use.
    target->db->close();
    bool done = false;
    {
        ProgressForm form(QString(), m_parent);
        BackupSMSThread worker(messages, targetDb->folder(), _CountryInfo(), form, m_parent);
        done = g_runWithProgress(form, worker);
    }
    if (!done)
        return nullptr;
    try {
        m_model.clearChilds(target);
        target->db->messages(target->data, 0);
        m_model.listChats(target);
        return target;
    } catch (const std::exception& e) {
        Tips::error(QString::fromUtf8(e.what()));
        return nullptr;
    }
}

_LocalDBItemNode* LocalDbCommands::importFromBackup(const QString& name, const Node* current)
{
    using namespace ITunesBackupSteps;
    OperationSteps steps(QStringLiteral("Import SMS from iTunes Backup to Local Database"));
    try {
        steps.step(tr("Opening the chosen iTunes backup"));
        const QSharedPointer<BackupManifest> backup = chooseBackup(m_parent);
        if (!backup)
            return nullptr;
        steps.step(tr("Copying the messages out of the backup %1").arg(backup->dir.absolutePath()));
        QDir cacheDir;
        if (!cacheBackup(*backup, m_parent, cacheDir))
            return nullptr;
        // Both live until the backup below has finished with the messages.
        QSharedPointer<AbsMessageDb> db;
        MsgData data;
        steps.step(tr("Reading the messages copied into %1").arg(cacheDir.absolutePath()));
        readCachedMessages(cacheDir, db, data);
        const QString defaultName = name.isEmpty() ? backup->info.DeviceName + QStringLiteral("_Backup") : name;
        steps.step(tr("Backing the messages up into a local database"));
        return backUp(defaultName, data.messages(), current);
    } catch (const std::exception& e) {
        steps.fail(QString::fromUtf8(e.what()));
        return nullptr;
    }
}
