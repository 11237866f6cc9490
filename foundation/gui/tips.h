// The application's message boxes (frameless, styled, draggable) and the
// error report that follows every error box. GUI thread only: workers reach
// the boxes through their progress dialog.
#pragma once

#include <QMessageBox>
#include <QString>

// Shows a modal box with the product title and the standard buttons whose
// bits are set in `buttons` (added Yes, No, Ok, Cancel), and returns the
// value of the button that ended it; closing it without a click gives the
// box's escape button (No in a Yes/No box, Ok in an Ok box).
int g_showMessageBox(QMessageBox::Icon icon, const QString& text, int buttons);
// A box of the application's look (frameless, styled, draggable, product
// title), without buttons, on g_messageBoxParent(). Held in a QPointer and
// deleted after exec(): the window it centres on may close while it is open
// (a dialog ended by its worker) and take the box with it.
QMessageBox* g_newMessageBox(QMessageBox::Icon icon, const QString& text);
// The window a box centres on: the modal dialog on top (the dialog a box
// comes from), else the active window, else the shown main window.
QWidget* g_messageBoxParent();

// "Quillsprout Chatterquay for Mac v2.14.32", translated.
QString prodInfoDisplay();
// Posts the message to the maker's server without waiting for an answer.
void report_err(const QString& message);
// Base64 of the UTF-8 text with "/" written "!" and "=" written "-".
QString base64_var(const QString& text);

class Tips
{
public:
    static void info(const QString& text);
    static void warning(const QString& text);
    // A warning whose text can be selected and copied (an address, a path).
    static void warningSelectable(const QString& text);
    // True only when Yes was pressed.
    static bool question(const QString& text);
    // A question whose Yes destroys something: No is the default button, so
    // neither Return nor Escape answers Yes.
    static bool confirmDelete(const QString& text);
    // The error box with the contact sentence, then the error report.
    static void error(const QString& message);
    // The error box without the sentence, then the error report.
    static void errorWithoutPrefix(const QString& message);
};
