// Lets a frameless window be dragged by a left-button press on its
// background. Presses that a child widget accepts (buttons, edits, views)
// never reach the window, so those widgets keep working.
#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

class WinMovable : public QObject
{
    Q_OBJECT
public:
    // Installs itself as the event filter of `window`, which it does not own.
    explicit WinMovable(QWidget* window);
    ~WinMovable() override;

    // Never consumes an event.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* target;
    // Where the last press hit, in the window's coordinates; (0, 0) counts as
    // no press at all.
    QPoint pressPos;
    bool dragging = false;
};
