#include "localdbselform.h"

#include "chooserbuttonrow.h"
#include "stylesheet.h"
#include "tips.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

class Ui_LocalDbSelForm
{
public:
    QLabel* label;
    QComboBox* cbLocalDbNames;
    ChooserButtonRow buttons;

    void setupUi(QDialog* dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("LocalDbSelForm"));
        dialog->setFixedSize(423, 156);
        label = new QLabel(dialog);
        label->setObjectName(QStringLiteral("label"));
        label->setGeometry(QRect(10, 20, 401, 16));
        cbLocalDbNames = new QComboBox(dialog);
        cbLocalDbNames->setObjectName(QStringLiteral("cbLocalDbNames"));
        cbLocalDbNames->setGeometry(QRect(10, 40, 401, 22));
        cbLocalDbNames->setEditable(true);
        buttons.setupUi(dialog, QRect(100, 120, 211, 25));

        retranslateUi(dialog);
        QMetaObject::connectSlotsByName(dialog);
    }

    void retranslateUi(QDialog* dialog)
    {
        dialog->setWindowTitle(LocalDbSelForm::tr("选择要备份到哪个数据库"));
        label->setText(LocalDbSelForm::tr("选择或输入新的数据库名称:"));
        cbLocalDbNames->setToolTip(LocalDbSelForm::tr("选择现有的数据库会将短信息附加到里面,输入新的名字会创建新的本地数据库."));
        buttons.btnOK->setText(LocalDbSelForm::tr("确定"));
        buttons.btnClose->setText(LocalDbSelForm::tr("取消"));
    }
};

LocalDbSelForm::LocalDbSelForm(const QStringList& names, const QString& current, QWidget* parent)
    : QDialog(parent)
    , movable(this)
    , ui(new Ui_LocalDbSelForm)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet());
    connect(ui->buttons.btnOK, &QPushButton::pressed, this, &LocalDbSelForm::onBtnOkPress);
    ui->cbLocalDbNames->addItem(QString());
    ui->cbLocalDbNames->addItems(names);
    ui->cbLocalDbNames->setCurrentIndex(-1);
    if (!current.isEmpty())
        ui->cbLocalDbNames->setEditText(current);
}

LocalDbSelForm::~LocalDbSelForm()
{
    delete ui;
}

QString LocalDbSelForm::execGetDbName()
{
    if (exec() == QDialog::Accepted && !dbName.isEmpty())
        return dbName;
    return QString();
}

QString LocalDbSelForm::nameError(const QString& name)
{
    if (name.trimmed().isEmpty())
        return tr("IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME");
    static const QRegularExpression refused(QStringLiteral("[\\\\/:*?\"<>|\n\r\t]+"));
    // A leading dot covers "." and "..", which would name the databases'
    // own folder or the data folder, and hidden folders, which the
    // database list and the removal of a database both pass over.
    if (name.contains(refused) || name.startsWith(QLatin1Char('.')))
        return tr("IDS_INVALID_LOCALDB_NAME");
    return QString();
}

void LocalDbSelForm::onBtnOkPress()
{
    dbName = ui->cbLocalDbNames->currentText();
    const QString error = nameError(dbName);
    if (error.isEmpty())
        accept();
    else
        Tips::warning(error);
}
