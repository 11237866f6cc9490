// Answers the modal message boxes and dialogs that code under test opens, and
// records what each box showed, so GUI code runs in tests without blocking.
// It watches the application's events rather than a clock: every window that
// is shown, and every event that can change what a dialog shows (a queued
// call from a worker, a repaint, a window hidden or activated), queues one
// look at the active modal widget, which then runs inside the nested event
// loop of that box's or dialog's exec().
#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class ModalWatcher : public QObject
{
    Q_OBJECT
public:
    struct ShownBox
    {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        Qt::WindowFlags flags;
        bool styled; // a style sheet was applied
    };

    ModalWatcher();
    ~ModalWatcher() override;

    // The answers for the next boxes, in order: a standard button is
    // clicked, QMessageBox::NoButton presses Escape. Once the queue is empty
    // every box is closed with Escape.
    void answer(QMessageBox::StandardButton button) { m_answers.append({button, 0}); }
    // The next box is answered by this key pressed on it (Return: its
    // default button).
    void answerKey(Qt::Key key) { m_answers.append({QMessageBox::NoButton, key}); }
    // Called for a modal widget that is not a message box, at every look,
    // until it returns true (it has done its job). A dialog that closed
    // before a look could reach it (a short progress dialog) is passed once
    // afterwards, so that it is seen all the same.
    void onDialog(std::function<bool(QWidget*)> handler)
    {
        m_dialogHandler = std::make_shared<std::function<bool(QWidget*)>>(std::move(handler));
    }

    const QList<ShownBox>& shown() const { return m_shown; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void scheduleLook();
    void look();
    void handleBox(QMessageBox* box);
    void callHandler(QWidget* widget);

    bool m_lookQueued = false;
    QList<QPointer<QWidget>> m_shownWindows;
    struct Answer
    {
        QMessageBox::StandardButton button;
        int key; // 0: click the button
    };
    QList<Answer> m_answers;
    QList<ShownBox> m_shown;
    std::shared_ptr<std::function<bool(QWidget*)>> m_dialogHandler;
};
