// The model of the message list: a flat list of messages in four columns
// (date, direction, correspondent, text), in the order given. It never sorts
// or changes the list, and owns none of the messages: whoever releases them
// replaces or empties the list first.
#pragma once

#include <QAbstractItemModel>
#include <QList>

struct _MsgMessage;

class ItemModelSms : public QAbstractItemModel
{
    Q_OBJECT
public:
    explicit ItemModelSms(QObject* parent = nullptr);

    // Each is one model reset.
    void loadSMS(const QList<_MsgMessage*>& list);
    void clear();
    const QList<_MsgMessage*>& messages() const { return m_messages; }
    // Column 0 of that row, carrying the message; invalid out of range.
    QModelIndex indexOfPos(int pos) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<_MsgMessage*> m_messages;
};
