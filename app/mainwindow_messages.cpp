// What the message list and the browser show for the current source node,
// the list's order, the two keyword searches, and which messages an
// operation takes.
#include "mainwindow.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "itemmodelmain.h"
#include "itemmodelsms.h"
#include "mytreeview.h"
#include "smsbrowser.h"
#include "tips.h"
#include "ui_mainwindow.h"

namespace {

// Rows from `start` to the end, then from 0 up to `start`, so that the row
// before `start` comes last; the first row `matches` accepts, or -1.
template <typename Matches>
int findWrapping(int count, int start, Matches matches)
{
    for (int i = 0; i < count; ++i) {
        const int row = (start + i) % count;
        if (matches(row))
            return row;
    }
    return -1;
}

// Once the event loop runs, when the node is still there.
void expandLater(MyTreeView* view, const QModelIndex& index)
{
    QTimer::singleShot(0, view, [view, target = QPersistentModelIndex(index)] {
        if (target.isValid())
            view->expand(target);
    });
}

_AbsDBItemNode* dbNode(const AbsTreeItemModel::_ItemNode* node)
{
    if (node && (node->type == ITEMNODE_IOS_DEVICE || node->type == ITEMNODE_LOCALDB))
        return static_cast<_AbsDBItemNode*>(const_cast<AbsTreeItemModel::_ItemNode*>(node));
    return nullptr;
}

// Reads all messages of the node's database into its set, unless they were
// all read before and the file has not changed since: reading again would
// add only rows that the set lacks, at the cost of a pass over every row.
// `beforeRead` runs only when the database is read. The stamp is taken
// before the read, so a write during it shows as a change next time.
template <typename BeforeRead>
void readMessagesUnlessUnchanged(_AbsDBItemNode* node, BeforeRead beforeRead)
{
    node->db->openCheck();
    const DbFileStamp now = DbFileStamp::of(node->db->path());
    if (now.sameAs(node->messagesRead))
        return;
    beforeRead();
    node->messagesRead = DbFileStamp();
    node->db->messages(node->data, 0);
    node->messagesRead = now;
}

void readMessagesUnlessUnchanged(_AbsDBItemNode* node)
{
    readMessagesUnlessUnchanged(node, [] {});
}

} // namespace

Qt::SortOrder MainWindow::sortOrder() const
{
    return ui->treeViewSMS->header()->sortIndicatorOrder();
}

const AbsTreeItemModel::_ItemNode* MainWindow::currentSourceNode() const
{
    return static_cast<const AbsTreeItemModel::_ItemNode*>(ui->treeViewDS->currentIndex().internalPointer());
}

void MainWindow::showMessages(QList<_MsgMessage*> messages)
{
    sortMsgMessages(messages, sortOrder() == Qt::DescendingOrder);
    smsModel->loadSMS(messages);
    ui->txtSMS->clearHtml();
    ui->txtSMS->showConversation(smsModel->messages());
    ui->lbSMSCount->setText(tr("Messages: %1").arg(messages.size()));
}

void MainWindow::resetMessagesShow()
{
    smsModel->loadSMS({});
    ui->txtSMS->clearHtml();
    ui->lbSMSCount->setText(tr("Messages: 0"));
}

void MainWindow::onMainTreeSelected(const QItemSelection& selected, const QItemSelection&)
{
    updateMenuActionState();
    if (selected.isEmpty() || selected.first().indexes().isEmpty())
        return;
    auto* node = static_cast<AbsTreeItemModel::_ItemNode*>(selected.first().indexes().first().internalPointer());
    try {
        showNode(node);
    } catch (const std::exception& e) {
        Tips::error(QString::fromUtf8(e.what()));
    }
}

void MainWindow::showNode(AbsTreeItemModel::_ItemNode* node)
{
    switch (node->type) {
    case ITEMNODE_IOS_DEVICE: {
        auto* device = static_cast<_AbsDBItemNode*>(node);
        // The list and the browser let go of the messages before the set is
        // read again.
        readMessagesUnlessUnchanged(device, [this] { resetMessagesShow(); });
        showMessages(device->data.messages());
        break;
    }
    case ITEMNODE_CHAT_SESSION: {
        const _MsgChatMerge& merge = static_cast<_ChatSessionItemNode*>(node)->merge;
        if (merge.chats.isEmpty())
            resetMessagesShow();
        else
            showMessages(merge.messages());
        break;
    }
    case ITEMNODE_LOCALDB: {
        auto* local = static_cast<_AbsDBItemNode*>(node);
        if (local->childs.isEmpty()) {
            // The conversations come with the messages: the pass over the
            // messages also finds each conversation's newest date, which
            // reading the conversations alone would take a pass of its own
            // for. Without conversations nothing is shown.
            readMessagesUnlessUnchanged(local);
            mainModel->listChats(local);
            expandLater(ui->treeViewDS, mainModel->indexOfItemNode(local));
            if (local->childs.isEmpty())
                return;
        }
        showMessages(local->data.messages());
        break;
    }
    default:
        resetMessagesShow();
    }
}

void MainWindow::onSMSSortIndicatorChanged(int logicalIndex, Qt::SortOrder)
{
    if (logicalIndex != 0) {
        // Only the order counts; the list is always ordered by date. This
        // comes back here with column 0.
        ui->treeViewSMS->header()->setSortIndicator(0, Qt::DescendingOrder);
        return;
    }
    showMessages(smsModel->messages());
}

void MainWindow::onSMSItemSelected(const QItemSelection& selected, const QItemSelection&)
{
    const QModelIndexList indexes = selected.indexes();
    if (indexes.isEmpty() || !indexes.first().internalPointer())
        return;
    ui->txtSMS->scrollToPos(indexes.first().row());
}

void MainWindow::searchMessages()
{
    const QString keyword = ui->txtSMSKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;
    const QList<_MsgMessage*>& messages = smsModel->messages();
    if (messages.isEmpty()) {
        Tips::info(tr("IDS_CAN_NOT_FOUND_AND_MESSAGES"));
        return;
    }
    const QModelIndex current = ui->treeViewSMS->currentIndex();
    const int start = current.isValid() ? (current.row() + 1) % int(messages.size()) : 0;
    const int row = findWrapping(int(messages.size()), start, [&](int i) {
        return messages.at(i)->summary().contains(keyword, Qt::CaseInsensitive);
    });
    if (row < 0) {
        Tips::info(tr("IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0").arg(keyword));
        return;
    }
    ui->treeViewSMS->setCurrentIndex(smsModel->indexOfPos(row));
}

void MainWindow::searchCotnact()
{
    const AbsTreeItemModel::_ItemNode* current = currentSourceNode();
    if (!current)
        return;
    const AbsTreeItemModel::_ItemNode* parent = nullptr;
    int start = 0;
    if (current->type == ITEMNODE_IOS_DEVICE || current->type == ITEMNODE_LOCALDB) {
        parent = current;
    } else if (current->type == ITEMNODE_CHAT_SESSION) {
        parent = current->parent;
        start = int(parent->childs.indexOf(const_cast<AbsTreeItemModel::_ItemNode*>(current))) + 1;
    } else {
        return;
    }
    const QString keyword = ui->txtHandleKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;
    const QList<AbsTreeItemModel::_ItemNode*>& chats = parent->childs;
    const int row = chats.isEmpty() ? -1 : findWrapping(int(chats.size()), start % int(chats.size()), [&](int i) {
        return chats.at(i)->text.contains(keyword, Qt::CaseInsensitive);
    });
    if (row < 0) {
        Tips::info(tr("IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0").arg(keyword));
        return;
    }
    ui->treeViewDS->setCurrentIndex(mainModel->indexOfItemNode(chats.at(row)));
}

QList<_MsgMessage*> MainWindow::selectedMessages() const
{
    QList<_MsgMessage*> list;
    const QModelIndexList rows = ui->treeViewSMS->selectionModel()->selectedRows(0);
    list.reserve(rows.size());
    for (const QModelIndex& index : rows)
        if (auto* message = static_cast<_MsgMessage*>(index.internalPointer()))
            list.append(message);
    return list;
}

QList<_MsgMessage*> MainWindow::curAllMessages()
{
    _AbsDBItemNode* node = dbNode(currentSourceNode());
    if (!node)
        return {};
    try {
        readMessagesUnlessUnchanged(node);
        QList<_MsgMessage*> list = node->data.messages();
        sortMsgMessages(list, sortOrder() == Qt::DescendingOrder);
        return list;
    } catch (const std::exception& e) {
        Tips::error(QString::fromUtf8(e.what()));
        return {};
    }
}

void MainWindow::iniShowDSNode(const AbsTreeItemModel::_ItemNode* node)
{
    const QModelIndex index = mainModel->indexOfItemNode(node);
    ui->treeViewDS->expand(index);
    // Persistent: the node may be gone by the time the loop runs.
    QTimer::singleShot(0, ui->treeViewDS, [view = ui->treeViewDS, target = QPersistentModelIndex(index)] {
        if (target.isValid())
            view->setCurrentIndex(target);
    });
}
