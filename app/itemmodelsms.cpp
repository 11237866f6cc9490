#include "itemmodelsms.h"

#include <QBrush>
#include <QColor>
#include <QLocale>
#include <QPixmap>
#include <QSize>

#include "msgrecords.h"

namespace {

constexpr int kColumns = 4;
constexpr int kRowHeight = 23;
constexpr int kIconWidth = 18;

QVariant serviceIcon(const _MsgMessage& m)
{
    const bool sent = m.is_from_me != 0;
    const bool iMessage = m.service.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
    const char* file = iMessage ? (sent ? ":/res/imsg-send.png" : ":/res/imsg-rec.png")
                                : (sent ? ":/res/icon_sms-sent.png" : ":/res/icon_sms-receive.png");
    return QPixmap(QString::fromLatin1(file)).scaledToWidth(kIconWidth, Qt::FastTransformation);
}

QString cellText(const _MsgMessage& m, int column)
{
    const bool groupEvent = m.item_type != 0;
    switch (column) {
    case 0:
        return QLocale::system().toString(dtFromDate21(m.date), QLocale::ShortFormat);
    case 1:
        if (groupEvent)
            return QString();
        return m.is_from_me ? QStringLiteral("To") : QStringLiteral("From");
    case 2:
        if (!groupEvent)
            return m.contactInfo();
        return m.chat ? m.chat->displayLine(false) : QString();
    default:
        return m.summary();
    }
}

} // namespace

ItemModelSms::ItemModelSms(QObject* parent) : QAbstractItemModel(parent) {}

void ItemModelSms::loadSMS(const QList<_MsgMessage*>& list)
{
    beginResetModel();
    m_messages = list;
    endResetModel();
}

void ItemModelSms::clear()
{
    loadSMS({});
}

QModelIndex ItemModelSms::indexOfPos(int pos) const
{
    return index(pos, 0);
}

QModelIndex ItemModelSms::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    return createIndex(row, column, column == 0 ? m_messages.at(row) : nullptr);
}

QModelIndex ItemModelSms::parent(const QModelIndex&) const
{
    return QModelIndex();
}

int ItemModelSms::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_messages.size());
}

int ItemModelSms::columnCount(const QModelIndex&) const
{
    return kColumns;
}

QVariant ItemModelSms::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const headers[kColumns] = {"Date", "Flag", "Contact", "Content"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumns)
        return QVariant();
    return QString::fromLatin1(headers[section]);
}

QVariant ItemModelSms::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_messages.size() || index.column() >= kColumns)
        return QVariant();
    const _MsgMessage& m = *m_messages.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return cellText(m, index.column());
    case Qt::DecorationRole:
        return index.column() == 0 ? serviceIcon(m) : QVariant();
    case Qt::BackgroundRole:
        return QBrush(m.is_from_me ? QColor(245, 255, 226) : QColor(255, 255, 255));
    case Qt::ForegroundRole:
        return m.recovered ? QVariant(QColor(255, 0, 0)) : QVariant();
    case Qt::SizeHintRole:
        return QSize(0, kRowHeight);
    default:
        return QVariant();
    }
}
