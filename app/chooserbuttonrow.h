// The Confirm and Cancel buttons of the small chooser dialogs: one row, the
// two buttons held apart by a spacer, at a fixed place of the dialog.
// Cancel rejects the dialog as soon as the mouse button goes down on it.
#pragma once

#include <QRect>

class QDialog;
class QHBoxLayout;
class QPushButton;
class QSpacerItem;
class QWidget;

struct ChooserButtonRow
{
    QWidget* layoutWidget = nullptr;
    QHBoxLayout* horizontalLayout = nullptr;
    QPushButton* btnOK = nullptr;
    QSpacerItem* horizontalSpacer = nullptr;
    QPushButton* btnClose = nullptr;

    void setupUi(QDialog* dialog, const QRect& geometry);
};
