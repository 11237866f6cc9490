// Answers the modal message boxes and dialogs that code under test opens, and
// records what each box showed, so GUI code runs in tests without blocking.
// It polls the active modal widget from a timer, which keeps firing inside
// the nested event loop of a box's or dialog's exec().
#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

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

    // The answers for the next boxes, in order: a standard button is
    // clicked, QMessageBox::NoButton presses Escape. Once the queue is empty
    // every box is closed with Escape.
    void answer(QMessageBox::StandardButton button) { m_answers.append(button); }
    // Called for a modal widget that is not a message box, at every poll,
    // until it returns true (it has done its job).
    void onDialog(std::function<bool(QWidget*)> handler) { m_dialogHandler = std::move(handler); }

    const QList<ShownBox>& shown() const { return m_shown; }

private:
    void poll();
    void handleBox(QMessageBox* box);

    QTimer m_timer;
    QList<QMessageBox::StandardButton> m_answers;
    QList<ShownBox> m_shown;
    std::function<bool(QWidget*)> m_dialogHandler;
};
