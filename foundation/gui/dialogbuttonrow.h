// The button row at the foot of the application's dialogs: a stretch, the
// button that goes ahead, and Cancel, which rejects the dialog.
#pragma once

class QBoxLayout;
class QDialog;
class QPushButton;
class QString;

struct DialogButtonRow
{
    QPushButton* accept;
    QPushButton* cancel; // named "btnCancel", wired to QDialog::reject
};

// Appends the row to `layout`; `acceptName` is the accepting button's object name.
DialogButtonRow g_addDialogButtonRow(QDialog* dialog, QBoxLayout* layout, const QString& acceptName);
