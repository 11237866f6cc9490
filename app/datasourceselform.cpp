#include "datasourceselform.h"

#include "chooserbuttonrow.h"
#include "stylesheet.h"
#include "tips.h"

#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

class Ui_DataSourceSelForm
{
public:
    QLabel* lbSelDevice;
    QComboBox* cbDevice;
    ChooserButtonRow buttons;

    void setupUi(QDialog* dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("DataSourceSelForm"));
        dialog->setFixedSize(421, 152);
        lbSelDevice = new QLabel(dialog);
        lbSelDevice->setObjectName(QStringLiteral("lbSelDevice"));
        lbSelDevice->setGeometry(QRect(10, 20, 401, 16));
        cbDevice = new QComboBox(dialog);
        cbDevice->setObjectName(QStringLiteral("cbDevice"));
        cbDevice->setGeometry(QRect(10, 50, 401, 22));
        cbDevice->setEditable(false);
        buttons.setupUi(dialog, QRect(100, 100, 211, 25));

        retranslateUi(dialog);
        QMetaObject::connectSlotsByName(dialog);
    }

    void retranslateUi(QDialog* dialog)
    {
        dialog->setWindowTitle(DataSourceSelForm::tr("IDS_TITLE_SELECT_IPHONE"));
        lbSelDevice->setText(DataSourceSelForm::tr("IDS_TITLE_SELECT_ONE_DEVICE_TO_TRANSFER"));
        cbDevice->setToolTip(QString());
        buttons.btnOK->setText(DataSourceSelForm::tr("确定"));
        buttons.btnClose->setText(DataSourceSelForm::tr("取消"));
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
    connect(ui->buttons.btnOK, &QPushButton::pressed, this, &DataSourceSelForm::onBtnOkPressed);
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
