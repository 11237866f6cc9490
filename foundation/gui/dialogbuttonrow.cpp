#include "dialogbuttonrow.h"

#include <QBoxLayout>
#include <QDialog>
#include <QPushButton>

DialogButtonRow g_addDialogButtonRow(QDialog* dialog, QBoxLayout* layout, const QString& acceptName)
{
    auto* row = new QWidget(dialog);
    row->setObjectName(QStringLiteral("widget"));
    row->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* buttons = new QHBoxLayout(row);
    buttons->setObjectName(QStringLiteral("horizontalLayout"));
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addStretch();
    auto* accept = new QPushButton(row);
    accept->setObjectName(acceptName);
    buttons->addWidget(accept);
    auto* cancel = new QPushButton(row);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    buttons->addWidget(cancel);
    layout->addWidget(row);
    QObject::connect(cancel, &QPushButton::pressed, dialog, &QDialog::reject);
    return {accept, cancel};
}
