// A small modal dialog that asks the user to choose one item from a
// drop-down list. The caller gives a prompt and the choices, each with an
// icon, a text and an id, and gets back the id of the confirmed choice.
// Returning an id rather than a pointer leaves the caller to look the
// choice up again after the dialog, when what it named may have gone.
#pragma once

#include "winmovable.h"

#include <QDialog>
#include <QList>
#include <QString>

class Ui_DataSourceSelForm;

class DataSourceSelForm : public QDialog
{
    Q_OBJECT
public:
    struct _SelItem
    {
        _SelItem(const QString& icon, const QString& text, const QString& id)
            : icon(icon), text(text), id(id)
        {
        }
        QString icon; // file name of the icon, such as ":res/iphone.png"
        QString text;
        QString id;   // handed back untouched when this choice is taken
    };

    explicit DataSourceSelForm(QWidget* parent);
    ~DataSourceSelForm() override;

    // Shows `title` as the prompt, lists `items` and runs the dialog. The id
    // of the confirmed choice, or "" when the user cancelled (an item whose
    // id is empty cannot be told from a cancel). With one item it is chosen
    // already; with more the user must choose.
    QString execSel(const QString& title, const QList<_SelItem>& items);

private slots:
    void onBtnOkPressed();

private:
    WinMovable movable;
    Ui_DataSourceSelForm* ui;
};
