// The dialog in which the user picks the local database that a backup goes
// into, or types the name of a new one. The name becomes a folder under
// "local_databases", so names that a folder could not take, or that would
// name that folder itself or its parent, are refused.
#pragma once

#include "winmovable.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class Ui_LocalDbSelForm;

class LocalDbSelForm : public QDialog
{
    Q_OBJECT
public:
    // `names` are the existing local databases in tree order; `current`, when
    // not empty, is put into the edit field as a suggestion.
    LocalDbSelForm(const QStringList& names, const QString& current, QWidget* parent);
    ~LocalDbSelForm() override;

    // Runs the dialog; the confirmed name as typed (spaces kept), or "" when
    // the user cancelled.
    QString execGetDbName();

    // Empty when `name` may name a local database; else the warning to show.
    static QString nameError(const QString& name);

private slots:
    void onBtnOkPress();

private:
    WinMovable movable;
    QString dbName;
    Ui_LocalDbSelForm* ui;
};
