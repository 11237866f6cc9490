#include "chooserbuttonrow.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpacerItem>

void ChooserButtonRow::setupUi(QDialog* dialog, const QRect& geometry)
{
    layoutWidget = new QWidget(dialog);
    layoutWidget->setObjectName(QStringLiteral("layoutWidget"));
    layoutWidget->setGeometry(geometry);
    horizontalLayout = new QHBoxLayout(layoutWidget);
    horizontalLayout->setSpacing(6);
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
    QObject::connect(btnClose, &QPushButton::pressed, dialog, &QDialog::reject);
}
