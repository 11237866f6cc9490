#include "passcodedlg.h"

#include "backupmanifest.h"
#include "dialogbuttonrow.h"
#include "stylesheet.h"
#include "tips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

class Ui_PasscodeDlg
{
public:
    QVBoxLayout* verticalLayout;
    QLabel* lbTitle2;
    QLineEdit* txtPasscode;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    void setupUi(QDialog* dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("PasscodeDlg"));
        dialog->resize(338, 147);
        verticalLayout = new QVBoxLayout(dialog);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        const int bottom = verticalLayout->contentsMargins().bottom();
        verticalLayout->setContentsMargins(12, 15, 12, bottom);
        lbTitle2 = new QLabel(dialog);
        lbTitle2->setObjectName(QStringLiteral("lbTitle2"));
        verticalLayout->addWidget(lbTitle2);
        txtPasscode = new QLineEdit(dialog);
        txtPasscode->setObjectName(QStringLiteral("txtPasscode"));
        txtPasscode->setEchoMode(QLineEdit::Password);
        verticalLayout->addWidget(txtPasscode);
        const DialogButtonRow row = g_addDialogButtonRow(dialog, verticalLayout, QStringLiteral("btnOK"));
        btnOK = row.accept;
        btnCancel = row.cancel;

        retranslateUi(dialog);
        QMetaObject::connectSlotsByName(dialog);
    }

    void retranslateUi(QDialog* dialog)
    {
        dialog->setWindowTitle(PasscodeDlg::tr("IDS_TITLE_BACKUP_PASSWORD"));
        lbTitle2->setText(PasscodeDlg::tr("IDS_PLEASE_ENTER_PASSWORD_TO_LOAD_BACKUP"));
        txtPasscode->setPlaceholderText(PasscodeDlg::tr("IDS_ENTER_PASSWORD"));
        btnOK->setText(PasscodeDlg::tr("OK"));
        btnCancel->setText(PasscodeDlg::tr("Cancel"));
    }
};

PasscodeDlg::PasscodeDlg(BackupManifest* backupManifest, QWidget* parent)
    : QDialog(parent)
    , ui(new Ui_PasscodeDlg)
    , movable(this)
    , backup(backupManifest)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet());
    connect(ui->btnOK, &QPushButton::pressed, this, &PasscodeDlg::btnOKPressed);
}

PasscodeDlg::~PasscodeDlg()
{
    delete ui;
}

void PasscodeDlg::btnOKPressed()
{
    const QString text = ui->txtPasscode->text();
    if (text.isEmpty()) {
        Tips::warning(tr("IDS_PWD_IS_NULL"));
        return;
    }
    if (backup->setPasscode(text)) {
        password = text;
        accept();
        return;
    }
    Tips::warning(tr("IDS_INVALID_PASSWORD"));
    ui->txtPasscode->clear();
}
