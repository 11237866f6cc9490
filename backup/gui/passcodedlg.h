// The dialog that asks for the password of an encrypted backup and checks it
// at once; it stays open through wrong passwords until one is accepted or
// the user cancels.
#pragma once

#include "winmovable.h"

#include <QDialog>
#include <QString>

class BackupManifest;
class Ui_PasscodeDlg;

class PasscodeDlg : public QDialog
{
    Q_OBJECT
public:
    PasscodeDlg(BackupManifest* backup, QWidget* parent);
    ~PasscodeDlg() override;

    // The accepted password; empty until OK succeeded.
    QString password;

protected slots:
    void btnOKPressed();

private:
    Ui_PasscodeDlg* ui;
    WinMovable movable;
    BackupManifest* backup;
};
