#include "datasourceselform.h"

#include "stylesheet.h"
#include "tips.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>

class Ui_DataSourceSelForm
{
public:
    QLabel* lbSelDevice;
    QComboBox* cbDevice;
    QWidget* layoutWidget;
    QHBoxLayout* horizontalLayout;
    QPushButton* btnOK;
    QSpacerItem* horizontalSpacer;
    QPushButton* btnClose;

    void setupUi(QDialog* dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("DataSourceSelForm"));
        dialog->resize(421, 152);
        dialog->setMinimumSize(QSize(421, 152));
        dialog->setMaximumSize(QSize(421, 152));
        lbSelDevice = new QLabel(dialog);
        lbSelDevice->setObjectName(QStringLiteral("lbSelDevice"));
        lbSelDevice->setGeometry(QRect(10, 20, 401, 16));
        cbDevice = new QComboBox(dialog);
        cbDevice->setObjectName(QStringLiteral("cbDevice"));
        cbDevice->setGeometry(QRect(10, 50, 401, 22));
        cbDevice->setEditable(false);
        layoutWidget = new QWidget(dialog);
        layoutWidget->setObjectName(QStringLiteral("layoutWidget"));
        layoutWidget->setGeometry(QRect(100, 100, 211, 25));
        horizontalLayout = new QHBoxLayout(layoutWidget);
        horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
        horizontalLayout->setContentsMargins(0, 0, 0, 0);
        btnOK = new QPushButton(layoutWidget);
        btnOK->setObjectName(QStringLiteral("btnOK"));
        horizontalLayout->addWidget(btnOK);
        horizontalSpacer = new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
        horizontalLayout->addItem(horizontalSpacer);
        btnClose = new QPushButton(layoutWidget);
        btnClose->setObjectName(QStringLiteral("btnClose"));
        horizontalLayout->addWidget(btnClose);

        retranslateUi(dialog);
        QObject::connect(btnClose, &QPushButton::pressed, dialog, &QDialog::reject);
        QMetaObject::connectSlotsByName(dialog);
    }

    void retranslateUi(QDialog* dialog)
    {
        dialog->setWindowTitle(DataSourceSelForm::tr("Dialog"));
        lbSelDevice->setText(DataSourceSelForm::tr("IDS_TITLE_SELECT_ONE_DEVICE_TO_TRANSFER"));
        cbDevice->setToolTip(QString());
        btnOK->setText(DataSourceSelForm::tr("确定"));
        btnClose->setText(DataSourceSelForm::tr("取消"));
    }
};

DataSourceSelForm::DataSourceSelForm(QWidget* parent)
    : QDialog(parent)
    , movable(this)
    , ui(new Ui_DataSourceSelForm)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet());
    connect(ui->btnOK, &QPushButton::pressed, this, &DataSourceSelForm::onBtnOkPressed);
}

DataSourceSelForm::~DataSourceSelForm()
{
    delete ui;
}

QString DataSourceSelForm::execSel(const QString& title, const QList<_SelItem>& items)
{
    ui->lbSelDevice->setText(title);
    for (const _SelItem& item : items)
        ui->cbDevice->addItem(QIcon(item.icon), item.text, item.id);
    ui->cbDevice->setCurrentIndex(ui->cbDevice->count() <= 1 ? 0 : -1);
    if (exec() != QDialog::Accepted)
        return QString();
    return ui->cbDevice->currentData().toString();
}

void DataSourceSelForm::onBtnOkPressed()
{
    if (ui->cbDevice->currentIndex() >= 0) {
        accept();
        return;
    }
    Tips::warning(tr("IDS_PLEASE_SELECT_ONE_DATASOURCE"));
}
