#include "modalwatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTest>

#include <utility>

ModalWatcher::ModalWatcher()
{
    qApp->installEventFilter(this);
}

ModalWatcher::~ModalWatcher()
{
    qApp->removeEventFilter(this);
}

bool ModalWatcher::eventFilter(QObject* object, QEvent* event)
{
    if (object == this)
        return false;
    switch (event->type()) {
    case QEvent::Show:
        if (object->isWidgetType() && static_cast<QWidget*>(object)->isWindow()) {
            m_shownWindows.append(static_cast<QWidget*>(object));
            scheduleLook();
        }
        break;
    // Whatever a handler waits for (a progress value, a page count, a
    // dialog becoming active again, a mark a handler set on a dialog)
    // arrives with one of these.
    case QEvent::Hide:
    case QEvent::DynamicPropertyChange:
    case QEvent::MetaCall:
    case QEvent::UpdateRequest:
    case QEvent::LayoutRequest:
    case QEvent::WindowActivate:
        scheduleLook();
        break;
    default:
        break;
    }
    return false;
}

// One look at a time is queued; events that come before it runs share it.
void ModalWatcher::scheduleLook()
{
    if (m_lookQueued)
        return;
    m_lookQueued = true;
    QMetaObject::invokeMethod(this, &ModalWatcher::look, Qt::QueuedConnection);
}

void ModalWatcher::look()
{
    // Cleared first: a box opened from inside a handler runs its own nested
    // loop, where the next look must still be able to run.
    m_lookQueued = false;
    QWidget* modal = QApplication::activeModalWidget();
    const QList<QPointer<QWidget>> shownWindows = std::exchange(m_shownWindows, {});
    for (const QPointer<QWidget>& window : shownWindows) {
        if (window && window != modal && !window->isVisible() && qobject_cast<QDialog*>(window)
            && !qobject_cast<QMessageBox*>(window))
            callHandler(window);
    }
    if (!modal || !modal->isVisible())
        return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        handleBox(box);
        return;
    }
    callHandler(modal);
}

void ModalWatcher::callHandler(QWidget* widget)
{
    // Held while it runs: a nested look may finish with it meanwhile.
    const std::shared_ptr<std::function<bool(QWidget*)>> handler = m_dialogHandler;
    if (handler && (*handler)(widget) && m_dialogHandler == handler)
        m_dialogHandler.reset();
}

void ModalWatcher::handleBox(QMessageBox* box)
{
    if (box->property("modalWatcherAnswered").toBool())
        return;
    box->setProperty("modalWatcherAnswered", true);
    m_shown.append({box->icon(), box->windowTitle(), box->text(), box->standardButtons(), box->windowFlags(),
                    !box->styleSheet().isEmpty()});
    const Answer answer = m_answers.isEmpty() ? Answer{QMessageBox::NoButton, 0} : m_answers.takeFirst();
    if (answer.key) {
        // Keys go where the user's would: to the widget that has the focus.
        QWidget* focus = box->focusWidget() ? box->focusWidget() : box;
        QTest::keyClick(focus, Qt::Key(answer.key));
        return;
    }
    QAbstractButton* button = answer.button == QMessageBox::NoButton ? nullptr : box->button(answer.button);
    if (button)
        button->click();
    else
        QTest::keyClick(box, Qt::Key_Escape);
}
