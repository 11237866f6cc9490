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
