// The backup chooser: lists the iTunes backups of the computer newest first,
// lets the user add a backup folder from elsewhere, and hands the chosen
// backup, its manifest read, to the caller through `selectedBackup`.
#pragma once

#include "winmovable.h"

#include <QDialog>
#include <QSharedPointer>

class BackupManifest;
class ItemModelLoadBk;
class Ui_LoadItunesBackupDlg;

class LoadItunesBackupDlg : public QDialog
{
    Q_OBJECT
public:
    explicit LoadItunesBackupDlg(QWidget* parent = nullptr);
    ~LoadItunesBackupDlg() override;

    // The chosen backup after exec() returned 1; null otherwise.
    QSharedPointer<BackupManifest> selectedBackup;

protected slots:
    void btnAddOtherClicked(QString link);
    void btnLoadClicked();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void listComputerBackups();
    // Reads the folder's manifest and lists it; the row of the new backup,
    // or -1 after an error box naming `shownPath`.
    int addFolder(const QString& folder, const QString& shownPath);
    // The error box of a backup that could not be read.
    static void showLoadError(const QString& path, const std::exception& e);

    Ui_LoadItunesBackupDlg* ui;
    WinMovable winMovable;
    ItemModelLoadBk* model;
};
