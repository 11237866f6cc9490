// The style sheet resource, the window backgrounds it draws, and dragging
// frameless windows with WinMovable.
#include "stylesheet.h"
#include "tips.h"
#include "winmovable.h"

#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <memory>

class TstWinStyle : public QObject
{
    Q_OBJECT
private:
    static void mouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButton button)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, QPointF(pos), widget->mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &event);
    }

private slots:
    void styleSheetIsLoadedOnce()
    {
        const QString first = getStyleSheet();
        QVERIFY(first.contains(QLatin1String("QPushButton:hover")));
        QVERIFY(first.contains(QLatin1String("#ProgressForm")));
        QCOMPARE(getStyleSheet(), first);
    }

    void styleSheetImagesExist()
    {
        QVERIFY(!QImage(QStringLiteral(":/main-bg.png")).isNull());
        QVERIFY(!QImage(QStringLiteral(":/subwin-bg.png")).isNull());
    }

    // The band across the top of the main window and of the dialogs runs
    // to the right edge however wide the window is: the pixel near the
    // right edge has the colour of the one near the left, and is not white.
    void backgroundsCoverTheWidth_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::newRow("main window") << "MainWindow" << QSize(1600, 1000);
        QTest::newRow("backup chooser") << "LoadItunesBackupDlg" << QSize(1600, 400);
        QTest::newRow("local database chooser") << "LocalDbSelForm" << QSize(1600, 156);
        QTest::newRow("message box") << QString() << QSize(1600, 200);
    }

    void backgroundsCoverTheWidth()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        std::unique_ptr<QWidget> window;
        if (name.isEmpty()) {
            window.reset(g_newMessageBox(QMessageBox::Information, QStringLiteral("Notes")));
        } else {
            window.reset(name == QLatin1String("MainWindow") ? static_cast<QWidget*>(new QMainWindow) : new QDialog);
            window->setObjectName(name);
            window->setStyleSheet(getStyleSheet());
        }
        window->setFixedSize(size);
        const QImage shot = window->grab().toImage();
        QCOMPARE(shot.size(), size);
        const int y = 8;
        const QRgb left = shot.pixel(8, y);
        const QRgb right = shot.pixel(size.width() - 3, y);
        QVERIFY2(left != qRgb(255, 255, 255), "no band at the top");
        QCOMPARE(right, left);
    }

    void drag_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<QPoint>("expectedMove");
        QTest::newRow("left press drags") << Qt::LeftButton << QPoint(30, 12) << QPoint(10, 8);
        QTest::newRow("right press does not") << Qt::RightButton << QPoint(30, 12) << QPoint(0, 0);
        QTest::newRow("press at top-left pixel counts as none") << Qt::LeftButton << QPoint(0, 0) << QPoint(0, 0);
    }

    // The window keeps the grab point under the mouse: a move to press + d
    // moves the window by d.
    void drag()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(QPoint, press);
        QFETCH(QPoint, expectedMove);
        QDialog dialog;
        WinMovable movable(&dialog);
        dialog.move(100, 200);
        mouse(&dialog, QEvent::MouseButtonPress, press, button);
        mouse(&dialog, QEvent::MouseMove, press + QPoint(10, 8), button);
        QCOMPARE(dialog.pos(), QPoint(100, 200) + expectedMove);
    }

    void releaseEndsTheDrag()
    {
        QDialog dialog;
        WinMovable movable(&dialog);
        dialog.move(100, 200);
        mouse(&dialog, QEvent::MouseMove, QPoint(50, 50), Qt::NoButton);
        QCOMPARE(dialog.pos(), QPoint(100, 200));
        mouse(&dialog, QEvent::MouseButtonPress, QPoint(30, 12), Qt::LeftButton);
        mouse(&dialog, QEvent::MouseMove, QPoint(35, 12), Qt::LeftButton);
        QCOMPARE(dialog.pos(), QPoint(105, 200));
        mouse(&dialog, QEvent::MouseButtonRelease, QPoint(35, 12), Qt::LeftButton);
        mouse(&dialog, QEvent::MouseMove, QPoint(60, 40), Qt::NoButton);
        QCOMPARE(dialog.pos(), QPoint(105, 200));
    }

    // A press a child accepts never reaches the window; one on a label does.
    void childrenKeepTheirPresses()
    {
        QDialog dialog;
        WinMovable movable(&dialog);
        auto* button = new QPushButton(QStringLiteral("Cancel"), &dialog);
        button->setGeometry(10, 10, 80, 25);
        auto* label = new QLabel(QStringLiteral("status"), &dialog);
        label->setGeometry(10, 50, 80, 20);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos();

        bool pressed = false;
        connect(button, &QPushButton::pressed, this, [&] { pressed = true; });
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(20, 10));
        mouse(&dialog, QEvent::MouseMove, QPoint(60, 60), Qt::LeftButton);
        QVERIFY(pressed);
        QCOMPARE(dialog.pos(), start);
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(20, 10));

        QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
        mouse(&dialog, QEvent::MouseMove, QPoint(25, 65), Qt::LeftButton);
        QCOMPARE(dialog.pos(), start + QPoint(10, 10));
    }
};

QTEST_MAIN(TstWinStyle)
#include "tst_winstyle.moc"
