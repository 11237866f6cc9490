#include "loaditunesbackupdlg.h"

#include "backupmanifest.h"
#include "dialogbuttonrow.h"
#include "itemmodelloadbk.h"
#include "stylesheet.h"
#include "tips.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QTreeView>
#include <QVBoxLayout>

#include <stdexcept>

class Ui_LoadItunesBackupDlg
{
public:
    QVBoxLayout* verticalLayout;
    QLabel* lbTitle;
    QTreeView* listBackups;
    QLabel* lbAddOther;
    QPushButton* btnLoad;
    QPushButton* btnCancel;

    void setupUi(QDialog* dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("LoadItunesBackupDlg"));
        dialog->resize(600, 400);
        verticalLayout = new QVBoxLayout(dialog);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        verticalLayout->setSpacing(10);
        const QMargins margins = verticalLayout->contentsMargins();
        verticalLayout->setContentsMargins(margins.left(), 15, margins.right(), 15);
        lbTitle = new QLabel(dialog);
        lbTitle->setObjectName(QStringLiteral("lbTitle"));
        lbTitle->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        verticalLayout->addWidget(lbTitle);
        listBackups = new QTreeView(dialog);
        listBackups->setObjectName(QStringLiteral("listBackups"));
        listBackups->setIndentation(0);
        listBackups->setIconSize(AbsTreeItemModel::rowIconSize());
        verticalLayout->addWidget(listBackups);
        lbAddOther = new QLabel(dialog);
        lbAddOther->setObjectName(QStringLiteral("lbAddOther"));
        lbAddOther->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        lbAddOther->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        verticalLayout->addWidget(lbAddOther);
        const DialogButtonRow row = g_addDialogButtonRow(dialog, verticalLayout, QStringLiteral("btnLoad"));
        btnLoad = row.accept;
        btnLoad->setStyleSheet(QStringLiteral("margin-right:15px;"));
        btnCancel = row.cancel;

        retranslateUi(dialog);
    }

    void retranslateUi(QDialog* dialog)
    {
        dialog->setWindowTitle(LoadItunesBackupDlg::tr("IDS_TITLE_LOAD_ITUNES_BACKUP"));
        lbTitle->setText(LoadItunesBackupDlg::tr("IDS_SELECT_AN_ITUNES_BACKUP_TO_LOAD"));
        lbAddOther->setText(LoadItunesBackupDlg::tr("IDS_NO_BACKUP_LISTED_THERE_CLICK_<a href=\"#\">Here</a>_ADD"));
        btnLoad->setText(LoadItunesBackupDlg::tr("Load"));
        btnCancel->setText(LoadItunesBackupDlg::tr("Cancel"));
    }
};

LoadItunesBackupDlg::LoadItunesBackupDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui_LoadItunesBackupDlg)
    , winMovable(this)
    , model(new ItemModelLoadBk(this))
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet());
    ui->listBackups->setModel(model);
    // The three columns share the width between them (resizeEvent).
    ui->listBackups->header()->setStretchLastSection(false);
    connect(ui->lbAddOther, &QLabel::linkActivated, this, &LoadItunesBackupDlg::btnAddOtherClicked);
    connect(ui->btnLoad, &QPushButton::pressed, this, &LoadItunesBackupDlg::btnLoadClicked);
    connect(ui->listBackups, &QTreeView::doubleClicked, this, &LoadItunesBackupDlg::btnLoadClicked);
    listComputerBackups();
    ui->listBackups->setCurrentIndex(QModelIndex());
}

LoadItunesBackupDlg::~LoadItunesBackupDlg()
{
    delete ui;
}

void LoadItunesBackupDlg::listComputerBackups()
{
    for (const QDir& backupDir : BackupManifest::iTunesBackupDirs()) {
        // Oldest first, so that backups of one date keep that order.
        const QFileInfoList folders =
            backupDir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time | QDir::Reversed);
        for (const QFileInfo& folder : folders) {
            const QDir candidate(folder.absoluteFilePath());
            const bool hasIndex = candidate.exists(QStringLiteral("Manifest.mbdb"))
                || candidate.exists(QStringLiteral("Manifest.db"));
            if (hasIndex && candidate.exists(QStringLiteral("Manifest.plist")))
                addFolder(folder.absoluteFilePath(), folder.absoluteFilePath());
        }
    }
}

int LoadItunesBackupDlg::addFolder(const QString& folder, const QString& shownPath)
{
    QSharedPointer<BackupManifest> backup(new BackupManifest(folder));
    try {
        backup->readManifestInfo();
    } catch (const std::exception& e) {
        showLoadError(shownPath, e);
        return -1;
    }
    return model->indexOfItemNode(model->addBackup(backup)).row();
}

void LoadItunesBackupDlg::showLoadError(const QString& path, const std::exception& e)
{
    const QString text = QString::fromUtf8(e.what());
    qWarning("%s", qUtf8Printable(text));
    Tips::error(tr("load %1 error. %2").arg(path, text));
}

void LoadItunesBackupDlg::btnAddOtherClicked(QString)
{
    const QString chosen =
        QFileDialog::getExistingDirectory(nullptr, QString(), QDir::home().absolutePath(), QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return;
    const QString md5 = BackupManifest(chosen).dirPathMd5();
    for (const QSharedPointer<BackupManifest>& listed : model->backups()) {
        if (listed->dirPathMd5() == md5) {
            Tips::warning(tr("IDS_LOAD_BK_EXISTS"));
            return;
        }
    }
    const int row = addFolder(chosen, chosen);
    if (row >= 0)
        ui->listBackups->setCurrentIndex(model->index(row, 0));
}

void LoadItunesBackupDlg::btnLoadClicked()
{
    const QSharedPointer<BackupManifest> current = model->backupAt(ui->listBackups->currentIndex());
    if (!current) {
        Tips::warning(tr("IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP"));
        return;
    }
    selectedBackup = current;
    accept();
}

void LoadItunesBackupDlg::resizeEvent(QResizeEvent* e)
{
    QDialog::resizeEvent(e);
    const double w = e->size().width() - 80;
    QHeaderView* header = ui->listBackups->header();
    header->resizeSection(0, int(0.4 * w));
    header->resizeSection(1, int(0.25 * w));
    header->resizeSection(2, int(0.35 * w));
}
