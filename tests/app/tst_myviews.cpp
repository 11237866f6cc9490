// The two views of the main window's panes and their list counterpart turn
// context-menu requests and selection changes into signals.
#include "mylistview.h"
#include "mytreeview.h"

#include <QContextMenuEvent>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

#include <functional>

namespace {
template <typename View>
void checkSignals()
{
    View view(nullptr);
    QStandardItemModel model(3, 1);
    view.setModel(&model);
    QSignalSpy menus(&view, &View::createContextMenu);
    QSignalSpy selections(&view, &View::onSelectionChanged);

    view.selectionModel()->select(model.index(1, 0), QItemSelectionModel::Select);
    QCOMPARE(selections.size(), 1);
    QVERIFY(selections.first().at(0).template value<QItemSelection>().contains(model.index(1, 0)));
    QVERIFY(view.selectionModel()->isSelected(model.index(1, 0))); // the base view handled it too

    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(1, 1));
    QApplication::sendEvent(view.viewport(), &event);
    QCOMPARE(menus.size(), 1);
    QVERIFY(!event.isAccepted()); // left to the parent
}
} // namespace

using Check = std::function<void()>;
Q_DECLARE_METATYPE(Check)

class TestMyViews : public QObject
{
    Q_OBJECT

private slots:
    void menuAndSelectionSignals_data()
    {
        QTest::addColumn<Check>("check");
        QTest::newRow("tree") << Check(checkSignals<MyTreeView>);
        QTest::newRow("list") << Check(checkSignals<MyListView>);
    }
    void menuAndSelectionSignals()
    {
        QFETCH(Check, check);
        check();
    }
};

QTEST_MAIN(TestMyViews)
#include "tst_myviews.moc"
