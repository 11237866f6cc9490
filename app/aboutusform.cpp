#include "aboutusform.h"

#include "desktopopen.h"
#include "makerserver.h"
#include "productinfo.h"
#include "stylesheet.h"

#include <QDate>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

class Ui_AboutUsForm
{
public:
    QGraphicsView* picApp;
    QLabel* lbCopyRight;
    QLabel* lbTitle;
    QLabel* lbProduct;
    QPushButton* btnOK;
    QLabel* lbHomePage;

    void setupUi(QDialog* dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("AboutUsForm"));
        dialog->resize(400, 194);
        picApp = new QGraphicsView(dialog);
        picApp->setObjectName(QStringLiteral("picApp"));
        picApp->setGeometry(QRect(20, 40, 64, 64));
        picApp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        picApp->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        picApp->setRubberBandSelectionMode(Qt::ContainsItemBoundingRect);
        lbCopyRight = new QLabel(dialog);
        lbCopyRight->setObjectName(QStringLiteral("lbCopyRight"));
        lbCopyRight->setGeometry(QRect(100, 80, 221, 16));
        lbTitle = new QLabel(dialog);
        lbTitle->setObjectName(QStringLiteral("lbTitle"));
        lbTitle->setGeometry(QRect(20, 10, 121, 16));
        lbProduct = new QLabel(dialog);
        lbProduct->setObjectName(QStringLiteral("lbProduct"));
        lbProduct->setGeometry(QRect(100, 48, 281, 31));
        lbProduct->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignTop);
        lbProduct->setWordWrap(true);
        btnOK = new QPushButton(dialog);
        btnOK->setObjectName(QStringLiteral("btnOK"));
        btnOK->setGeometry(QRect(160, 160, 75, 23));
        lbHomePage = new QLabel(dialog);
        lbHomePage->setObjectName(QStringLiteral("lbHomePage"));
        lbHomePage->setGeometry(QRect(20, 120, 201, 16));

        retranslateUi(dialog);
        QObject::connect(btnOK, &QPushButton::pressed, dialog, &QDialog::accept);
        QMetaObject::connectSlotsByName(dialog);
    }

    void retranslateUi(QDialog* dialog)
    {
        lbTitle->setText(AboutUsForm::tr("关于"));
        dialog->setWindowTitle(lbTitle->text());
        lbProduct->setText(QString());
        btnOK->setText(QStringLiteral("OK"));
    }
};

AboutUsForm::AboutUsForm(QWidget* parent)
    : QDialog(parent)
    , movable(this)
    , ui(new Ui_AboutUsForm)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet());
    ui->lbProduct->setText(QStringLiteral("%1 v%2").arg(g_productTitle(), QLatin1String(kVersionText)));

    auto* scene = new QGraphicsScene(this);
    scene->addPixmap(QPixmap(QStringLiteral(":main")).scaledToHeight(64, Qt::SmoothTransformation));
    ui->picApp->setStyleSheet(QStringLiteral("background:Transparent;border:0;"));
    ui->picApp->setScene(scene);

    const QString home = homePageUrl();
    ui->lbHomePage->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(home.toHtmlEscaped()));
    // Through the desktop opener every other link takes: when no browser
    // answers, a box gives the address to copy.
    ui->lbHomePage->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(ui->lbHomePage, &QLabel::linkActivated, this, [](const QString& link) { g_openLinkOrTell(link); });
    ui->lbCopyRight->setText(
        QStringLiteral("Copyright \u00A9 %1 Quillsprout. All rights reserved.").arg(QDate::currentDate().year()));
    fitToTexts();
}

// The labels keep their places but grow to their texts (whose font and
// length the style sheet, the translation and the year decide), and the box
// widens to hold them with OK kept in the middle.
void AboutUsForm::fitToTexts()
{
    int right = width() - kMargin;
    for (QLabel* label : {ui->lbTitle, ui->lbCopyRight, ui->lbHomePage}) {
        label->ensurePolished();
        label->resize(qMax(label->width(), label->sizeHint().width()), qMax(label->height(), label->sizeHint().height()));
        right = qMax(right, label->geometry().right() + 1);
    }
    QLabel* product = ui->lbProduct;
    product->ensurePolished();
    product->resize(product->width(), qMax(product->height(), product->heightForWidth(product->width())));
    resize(right + kMargin, height());
    ui->btnOK->move((width() - ui->btnOK->width()) / 2, ui->btnOK->y());
}

AboutUsForm::~AboutUsForm()
{
    delete ui;
}

QString AboutUsForm::homePageUrl()
{
    return g_makerServerUrl(QStringLiteral("/")).toString();
}
