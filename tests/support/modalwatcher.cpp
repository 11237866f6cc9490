#include "modalwatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

ModalWatcher::ModalWatcher()
{
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
    m_timer.start(5);
}

void ModalWatcher::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        handleBox(box);
        return;
    }
    if (m_dialogHandler && m_dialogHandler(modal))
        m_dialogHandler = nullptr;
}

void ModalWatcher::handleBox(QMessageBox* box)
{
    m_shown.append({box->icon(), box->windowTitle(), box->text(), box->standardButtons(),
                    box->windowFlags(), !box->styleSheet().isEmpty()});
    const QMessageBox::StandardButton answer = m_answers.isEmpty() ? QMessageBox::NoButton : m_answers.takeFirst();
    QAbstractButton* button = answer == QMessageBox::NoButton ? nullptr : box->button(answer);
    if (button)
        button->click();
    else
        QTest::keyClick(box, Qt::Key_Escape);
}
