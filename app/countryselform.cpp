#include "countryselform.h"

#include "countrylibdb.h"
#include "stylesheet.h"
#include "tips.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QSpacerItem>
#include <QVBoxLayout>

#include <exception>

namespace {

// A cache file holds a code of a few characters; anything longer is cut.
constexpr qint64 kMaxCacheBytes = 64;

QString cacheFilePath(const QDir& dir, const QString& name)
{
    return dir.absoluteFilePath(name + QStringLiteral(".mmc"));
}

} // namespace

class Ui_CountrySelForm
{
public:
    QVBoxLayout* verticalLayout_3;
    QLabel* lbTitle;
    QWidget* widget;
    QVBoxLayout* verticalLayout_2;
    QLineEdit* txtKW;
    QListWidget* ltCountries;
    QWidget* widget_2;
    QHBoxLayout* horizontalLayout;
    QSpacerItem* horizontalSpacer;
    QPushButton* btnOK;

    void setupUi(QDialog* dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("CountrySelForm"));
        dialog->resize(326, 398);
        verticalLayout_3 = new QVBoxLayout(dialog);
        verticalLayout_3->setSpacing(10);
        verticalLayout_3->setObjectName(QStringLiteral("verticalLayout_3"));
        const QMargins margins = verticalLayout_3->contentsMargins();
        verticalLayout_3->setContentsMargins(margins.left(), 15, margins.right(), 15);
        lbTitle = new QLabel(dialog);
        lbTitle->setObjectName(QStringLiteral("lbTitle"));
        verticalLayout_3->addWidget(lbTitle);
        widget = new QWidget(dialog);
        widget->setObjectName(QStringLiteral("widget"));
        verticalLayout_2 = new QVBoxLayout(widget);
        verticalLayout_2->setSpacing(2);
        verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
        verticalLayout_2->setContentsMargins(0, 10, 0, 0);
        txtKW = new QLineEdit(widget);
        txtKW->setObjectName(QStringLiteral("txtKW"));
        verticalLayout_2->addWidget(txtKW);
        ltCountries = new QListWidget(widget);
        ltCountries->setObjectName(QStringLiteral("ltCountries"));
        verticalLayout_2->addWidget(ltCountries);
        verticalLayout_3->addWidget(widget);
        widget_2 = new QWidget(dialog);
        widget_2->setObjectName(QStringLiteral("widget_2"));
        horizontalLayout = new QHBoxLayout(widget_2);
        horizontalLayout->setSpacing(10);
        horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
        horizontalLayout->setContentsMargins(0, 0, 0, 0);
        horizontalSpacer = new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
        horizontalLayout->addItem(horizontalSpacer);
        btnOK = new QPushButton(widget_2);
        btnOK->setObjectName(QStringLiteral("btnOK"));
        horizontalLayout->addWidget(btnOK);
        verticalLayout_3->addWidget(widget_2);

        retranslateUi(dialog);
        QObject::connect(btnOK, &QPushButton::pressed, dialog, &QDialog::accept);
        QMetaObject::connectSlotsByName(dialog);
    }

    void retranslateUi(QDialog* dialog)
    {
        dialog->setWindowTitle(CountrySelForm::tr("Dialog"));
        lbTitle->setText(CountrySelForm::tr("IDS_SEL_YOUR_PHONE_COUNTRY"));
        btnOK->setText(CountrySelForm::tr("OK"));
    }
};

CountrySelForm::CountrySelForm(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui_CountrySelForm)
    , movable(this)
{
    ui->setupUi(this);
    connect(ui->txtKW, &QLineEdit::textChanged, this, &CountrySelForm::kwinput);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet());
    try {
        loadCountries();
    } catch (const std::exception& e) {
        Tips::error(QString::fromUtf8(e.what()));
    }
}

CountrySelForm::~CountrySelForm()
{
    delete ui;
}

// The list shows the countries only once all were read; rows read before a
// failure stay in countryItems, so a later keyword still lists them.
void CountrySelForm::loadCountries()
{
    CountryLibDb db{QString()};
    db.openCheck();
    Sqlite3Cursor cursor = db.queryThrow(
        Sqlite3Sql("select pnum, n, substr(mmc,0,4) as mmc from countries order by n asc"));
    while (cursor.moveNext()) {
        countryItems.append({cursor.getText(QStringLiteral("mmc")),
                             QStringLiteral("%1 (+%2)").arg(cursor.getText(QStringLiteral("n")),
                                                            cursor.getText(QStringLiteral("pnum")))});
    }
    for (const CountryItem& item : countryItems)
        appendRow(item);
}

void CountrySelForm::appendRow(const CountryItem& item)
{
    auto* row = new QListWidgetItem(item.text, ui->ltCountries);
    row->setData(Qt::UserRole, item.mmc);
}

void CountrySelForm::kwinput(const QString& kw)
{
    ui->ltCountries->clear();
    for (const CountryItem& item : countryItems)
        if (item.text.contains(kw, Qt::CaseInsensitive))
            appendRow(item);
}

void CountrySelForm::accept()
{
    const QListWidgetItem* row = ui->ltCountries->currentItem();
    if (!row) {
        Tips::warning(tr("IDS_CANT_CONTINUE_WITHOUT_SEL_ONE_COUNTRY"));
        return;
    }
    if (!Tips::question(tr("IDS_CONFIRM_SEL_COUNTRY_%1").arg(row->text())))
        return;
    selectedMmc = row->data(Qt::UserRole).toString();
    QDialog::accept();
}

void CountrySelForm::reject()
{
}

void CountrySelForm::cacheMMC(const QString& mmc, const QDir& dir, const QString& name)
{
    QSaveFile file(cacheFilePath(dir, name));
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(mmc.toUtf8());
    file.commit();
}

QString CountrySelForm::MMCCache(const QDir& dir, const QString& name)
{
    QFile file(cacheFilePath(dir, name));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = file.read(kMaxCacheBytes);
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromLatin1(bytes);
}
