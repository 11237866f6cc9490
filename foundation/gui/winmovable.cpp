#include "winmovable.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

WinMovable::WinMovable(QWidget* window)
    : target(window)
{
    target->installEventFilter(this);
}

WinMovable::~WinMovable() = default;

bool WinMovable::eventFilter(QObject*, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        pressPos = mouse->position().toPoint();
        dragging = mouse->button() == Qt::LeftButton;
        break;
    }
    case QEvent::MouseMove:
        if (!pressPos.isNull() && dragging)
            target->move(target->pos() + static_cast<QMouseEvent*>(event)->position().toPoint() - pressPos);
        break;
    case QEvent::MouseButtonRelease:
        dragging = false;
        break;
    default:
        break;
    }
    return false;
}
