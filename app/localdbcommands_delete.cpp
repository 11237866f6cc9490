#include "localdbcommands.h"

#include <QSet>

#include "data_path_util.h"
#include "deletequestion.h"
#include "deletemessagesthread.h"
#include "ios6messagedb.h"
#include "itemmodelmain.h"
#include "progressform.h"
#include "progressrunner.h"
#include "tips.h"

namespace {

using Node = AbsTreeItemModel::_ItemNode;

// The local database that a node stands for: itself, or the parent of one of
// its conversations; null for devices, their conversations and the roots.
_LocalDBItemNode* localDbOf(const Node* node)
{
    if (node && node->type == ITEMNODE_CHAT_SESSION)
        node = node->parent;
    if (node && node->type == ITEMNODE_LOCALDB)
        return static_cast<_LocalDBItemNode*>(const_cast<Node*>(node));
    return nullptr;
}

// Deletes the messages from the node's database behind a progress dialog;
// true when the transaction was committed.
bool deleteFromDatabase(_LocalDBItemNode& node, const QList<_MsgMessage*>& messages, QWidget* parent)
{
    auto* db = dynamic_cast<IOS6MessageDb*>(node.db.data());
    if (!db)
        return false;
    ProgressForm form(QString(), parent);
    DeleteMessagesThread worker(*db, messages, form, parent);
    return g_runWithProgress(form, worker);
}

// The folder of the local database of that name: a direct child of the
// local databases folder. Empty for a name that would be that folder itself,
// its parent, a hidden entry (which the list never shows) or a deeper path.
QString localDbFolder(const QString& name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || name.contains(QLatin1Char('/'))
        || name.contains(QChar(0)))
        return QString();
    return g_localDbDir().absoluteFilePath(name);
}

} // namespace

bool LocalDbCommands::deleteSelected(const Node* current, QList<_MsgMessage*> messages, const LetGo& letGo)
{
    _LocalDBItemNode* owner = localDbOf(current);
    if (!owner)
        return false;
    if (!Tips::confirmDelete(deleteMessagesQuestion(tr("IDS_CONFIRM_DEL_SEL_MESSAGES"), messages.size(), owner->text)))
        return false;
    if (!deleteFromDatabase(*owner, messages, m_parent))
        return false;
    letGo();
    owner->data.p()->removeMessages(QSet<_MsgMessage*>(messages.begin(), messages.end()));
    return true;
}

bool LocalDbCommands::deleteConversation(const Node* current, QList<_MsgMessage*> messages, const LetGo& letGo)
{
    if (!current || current->type != ITEMNODE_CHAT_SESSION)
        return false;
    _LocalDBItemNode* owner = localDbOf(current);
    if (!owner)
        return false;
    if (!Tips::confirmDelete(deleteConversationQuestion(tr("IDS_CONFIRM_DEL_THIS_CHAT"), current->text,
                                                        messages.size(), owner->text)))
        return false;
    if (!deleteFromDatabase(*owner, messages, m_parent))
        return false;
    const QList<_MsgChat*> chats = static_cast<const _ChatSessionItemNode*>(current)->merge.chats;
    letGo();
    // The node names the chats: it goes before they are freed.
    m_model.removeNode(current);
    __MsgData* data = owner->data.p();
    data->removeMessages(QSet<_MsgMessage*>(messages.begin(), messages.end()));
    data->removeChats(QSet<_MsgChat*>(chats.begin(), chats.end()));
    return true;
}

bool LocalDbCommands::deleteDatabase(const Node* current, const LetGo& letGo)
{
    if (!current || current->type != ITEMNODE_LOCALDB
        || !Tips::confirmDelete(deleteDatabaseQuestion(tr("IDS_CONFIRM_DEL_THIS_LOCALDB"), current->text)))
        return false;
    auto* node = static_cast<_LocalDBItemNode*>(const_cast<Node*>(current));
    const QString name = node->text;
    const QString folder = localDbFolder(name);
    if (folder.isEmpty()) {
        Tips::error(tr("The database name \"%1\" does not name a folder of its own; nothing was deleted.").arg(name));
        return false;
    }
    node->db->close();
    // A link in its place goes as a link; whatever it points to stays.
    const bool removed = g_delDirCascade(folder);
    // The node's messages go with it. A folder left behind is listed again
    // at the next start.
    letGo();
    m_model.removeNode(node);
    if (removed)
        Tips::info(tr("IDS_DEL_LOCALDB_SUC").arg(name));
    else
        Tips::error(tr("Could not delete the database folder %1 completely; what is left of it stays there.")
                        .arg(folder));
    return removed;
}
