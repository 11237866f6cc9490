// The tree model base under QAbstractItemModelTester through inserts and
// removals, the notifications of its removal operations, and the rows'
// pictures fitted to their square.
#include "abstreeitemmodel.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

namespace {
int g_liveNodes = 0;

class CountedNode : public AbsTreeItemModel::_ItemNode
{
public:
    CountedNode(const QString& text, _ItemNode* parent) : _ItemNode(parent ? 6 : 3, text, parent) { ++g_liveNodes; }
    ~CountedNode() override { --g_liveNodes; }
};

// A subclass as the application's models are: two columns, nodes linked in
// by the subclass with its own insert notifications.
class TwoColumnModel : public AbsTreeItemModel
{
public:
    int columnCount(const QModelIndex& = QModelIndex()) const override { return 2; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || role != Qt::DisplayRole)
            return {};
        const auto* node = static_cast<const _ItemNode*>(index.internalPointer());
        return index.column() == 0 ? QVariant(node->text) : QVariant(node->type);
    }

    _ItemNode* insert(_ItemNode* parent, int row, const QString& text)
    {
        QList<_ItemNode*>& list = parent ? parent->childs : roots;
        beginInsertRows(indexOfItemNode(parent), row, row);
        auto* node = new CountedNode(text, parent);
        list.insert(row, node);
        endInsertRows();
        return node;
    }
    _ItemNode* root(int row) const { return roots.at(row); }

    QStringList texts() const
    {
        QStringList list;
        for (const _ItemNode* node : nodes())
            list << node->text;
        return list;
    }
};

using Range = QList<QVariant>;
Range removal(const QList<QVariant>& signal)
{
    const auto parent = signal.at(0).value<QModelIndex>();
    return {parent.isValid() ? parent.data().toString() : QString(), signal.at(1), signal.at(2)};
}
}

class TstAbsTreeItemModel : public QObject
{
    Q_OBJECT
private slots:
    void init() { g_liveNodes = 0; }

    // The tester checks the whole structure after every change; parents must
    // keep their current row when rows above them come and go.
    void structureThroughInsertsAndRemovals()
    {
        {
            TwoColumnModel model;
            QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
            auto* b = model.insert(nullptr, 0, QStringLiteral("B"));
            model.insert(b, 0, QStringLiteral("B1"));
            auto* b2 = model.insert(b, 1, QStringLiteral("B2"));
            model.insert(b2, 0, QStringLiteral("B2a"));
            // Touch the stored indexes, then shift everything down by one.
            QCOMPARE(model.index(1, 1, model.index(0, 0)).data().toInt(), 6);
            auto* a = model.insert(nullptr, 0, QStringLiteral("A"));
            model.insert(a, 0, QStringLiteral("A1"));
            model.insert(b, 0, QStringLiteral("B0"));

            const QModelIndex b2a = model.index(0, 0, model.index(2, 0, model.index(1, 0)));
            QCOMPARE(b2a.data().toString(), QStringLiteral("B2a"));
            QCOMPARE(b2a.parent(), model.index(2, 0, model.index(1, 0)));
            QCOMPARE(b2a.parent().parent(), model.index(1, 0));
            QCOMPARE(model.indexOfItemNode(b2), model.index(2, 0, model.index(1, 0)));

            model.removeNode(a);
            QCOMPARE(model.indexOfItemNode(b), model.index(0, 0));
            QCOMPARE(model.index(2, 0, model.index(0, 0)).data().toString(), QStringLiteral("B2"));
            model.removeNode(model.root(0)->childs.at(0));
            QCOMPARE(model.texts(), QStringList({"B", "B1", "B2", "B2a"}));
            model.clearChilds(nullptr);
            QCOMPARE(model.rowCount(), 0);
            QCOMPARE(g_liveNodes, 0);
            model.insert(nullptr, 0, QStringLiteral("C"));
            model.insert(model.root(0), 0, QStringLiteral("C1"));
            model.invokeDataChanged(model.root(0));
            model.contentsUpdate();
        }
        // Deleting the model deleted every node once.
        QCOMPARE(g_liveNodes, 0);
    }

    void indexEdges()
    {
        TwoColumnModel model;
        auto* a = model.insert(nullptr, 0, QStringLiteral("A"));
        model.insert(a, 0, QStringLiteral("A1"));
        QVERIFY(!model.index(1, 0).isValid());
        QVERIFY(!model.index(-1, 0).isValid());
        QVERIFY(!model.index(0, 2).isValid());
        QVERIFY(!model.index(0, -1).isValid());
        QVERIFY(!model.parent(model.index(0, 0)).isValid());
        QVERIFY(!model.parent(QModelIndex()).isValid());
        QCOMPARE(model.rowCount(model.index(0, 0)), 1);
        // Children hang under column 0 only.
        QCOMPARE(model.rowCount(model.index(0, 1)), 0);
        // The stored index is the last one produced, whatever its column.
        model.index(0, 1);
        QCOMPARE(a->index.column(), 1);
        QCOMPARE(model.parent(model.index(0, 0, model.index(0, 0))).column(), 0);
        // A node that is not in the tree has no index.
        CountedNode stray(QStringLiteral("stray"), nullptr);
        QVERIFY(!model.indexOfItemNode(&stray).isValid());
    }

    void removalNotifications()
    {
        TwoColumnModel model;
        auto* a = model.insert(nullptr, 0, QStringLiteral("A"));
        model.insert(a, 0, QStringLiteral("A1"));
        model.insert(a, 1, QStringLiteral("A2"));
        auto* b = model.insert(nullptr, 1, QStringLiteral("B"));
        QCOMPARE(model.texts(), QStringList({"A", "A1", "A2", "B"}));
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);

        model.clearChilds(b);
        QCOMPARE(removed.size(), 0);

        model.removeNode(a);
        QCOMPARE(removed.size(), 2);
        QCOMPARE(removal(removed.at(0)), Range({"A", 0, 1}));
        QCOMPARE(removal(removed.at(1)), Range({"", 0, 0}));
        QCOMPARE(g_liveNodes, 1);

        model.insert(nullptr, 1, QStringLiteral("C"));
        removed.clear();
        model.clearChilds(nullptr);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removal(removed.at(0)), Range({"", 0, 1}));
        QVERIFY(model.nodes().isEmpty());
        model.clearChilds(nullptr);
        QCOMPARE(removed.size(), 1);
    }

    // A picture of any shape ends as the row icon's square with the whole
    // picture inside it: a tall phone is not cut at top or bottom, a wide
    // one not at its sides, and the rest of the square stays transparent.
    void rowIconFitsItsSquare_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QRect>("drawn");
        QTest::newRow("square") << QSize(36, 36) << QRect(0, 0, 18, 18);
        QTest::newRow("tall phone") << QSize(36, 64) << QRect(4, 0, 10, 18);
        QTest::newRow("wide") << QSize(64, 32) << QRect(0, 4, 18, 9);
        QTest::newRow("small") << QSize(9, 9) << QRect(0, 0, 18, 18);
    }

    void rowIconFitsItsSquare()
    {
        QFETCH(QSize, picture);
        QFETCH(QRect, drawn);
        QImage image(picture, QImage::Format_ARGB32);
        image.fill(Qt::red);
        const QImage icon = AbsTreeItemModel::rowIcon(image);
        QCOMPARE(icon.size(), AbsTreeItemModel::rowIconSize());
        QRect opaque;
        for (int y = 0; y < icon.height(); ++y)
            for (int x = 0; x < icon.width(); ++x)
                if (qAlpha(icon.pixel(x, y)) != 0)
                    opaque |= QRect(x, y, 1, 1);
        QCOMPARE(opaque, drawn);
        QVERIFY(AbsTreeItemModel::rowIcon(QImage()).isNull());
    }
};

QTEST_MAIN(TstAbsTreeItemModel)
#include "tst_abstreeitemmodel.moc"
