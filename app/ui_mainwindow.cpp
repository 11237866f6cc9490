#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "abstreeitemmodel.h"
#include "mytreeview.h"
#include "smsbrowser.h"

namespace {

template <typename T, typename Parent>
T* make(Parent* parent, const char* name)
{
    auto* object = new T(parent);
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

// Every box of the window lays its widgets edge to edge.
template <typename Box>
Box* box(QWidget* on, const char* name)
{
    auto* layout = make<Box>(on, name);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

QSplitter* splitterIn(QWidget* parent, const char* name, Qt::Orientation orientation)
{
    auto* s = make<QSplitter>(parent, name);
    s->setOrientation(orientation);
    s->setHandleWidth(1);
    s->setChildrenCollapsible(false);
    return s;
}

struct SearchRowNames
{
    const char* row;
    const char* layout;
    const char* edit;
    const char* button;
};

// A keyword field and its search button above a pane's view.
QWidget* searchRow(QWidget* pane, const SearchRowNames& names, QHBoxLayout*& layout, QLineEdit*& edit,
                   QToolButton*& button)
{
    auto* row = make<QWidget>(pane, names.row);
    layout = box<QHBoxLayout>(row, names.layout);
    edit = make<QLineEdit>(row, names.edit);
    layout->addWidget(edit);
    button = make<QToolButton>(row, names.button);
    QIcon icon;
    icon.addFile(QStringLiteral(":/res/search.png"), QSize(), QIcon::Normal, QIcon::Off);
    button->setIcon(icon);
    layout->addWidget(button);
    return row;
}

} // namespace

void Ui_MainWindow::setupUi(QMainWindow* window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("MainWindow"));
    window->resize(1000, 680);
    // Below this the toolbar folds buttons away and the panes get too small
    // to read a conversation in.
    window->setMinimumSize(800, 560);

    centralWidget = make<QWidget>(window, "centralWidget");
    verticalLayout_4 = box<QVBoxLayout>(centralWidget, "verticalLayout_4");
    splitter = splitterIn(centralWidget, "splitter", Qt::Horizontal);
    verticalLayout_4->addWidget(splitter);

    widget_5 = make<QWidget>(splitter, "widget_5");
    verticalLayout_3 = box<QVBoxLayout>(widget_5, "verticalLayout_3");
    widget_4 = searchRow(widget_5, {"widget_4", "horizontalLayout_2", "txtHandleKeyword", "btnSearchHandle"},
                         horizontalLayout_2, txtHandleKeyword, btnSearchHandle);
    verticalLayout_3->addWidget(widget_4);
    treeViewDS = make<MyTreeView>(widget_5, "treeViewDS");
    treeViewDS->setFrameShadow(QFrame::Sunken);
    treeViewDS->setLineWidth(1);
    treeViewDS->header()->setVisible(false);
    treeViewDS->setIconSize(AbsTreeItemModel::rowIconSize());
    verticalLayout_3->addWidget(treeViewDS);
    splitter->addWidget(widget_5);

    widget = make<QWidget>(splitter, "widget");
    verticalLayout_5 = box<QVBoxLayout>(widget, "verticalLayout_5");
    splitter_2 = splitterIn(widget, "splitter_2", Qt::Vertical);
    verticalLayout_5->addWidget(splitter_2);

    widget_2 = make<QWidget>(splitter_2, "widget_2");
    verticalLayout = box<QVBoxLayout>(widget_2, "verticalLayout");
    widget_3 = searchRow(widget_2, {"widget_3", "horizontalLayout", "txtSMSKeyword", "btnSearchSMS"},
                         horizontalLayout, txtSMSKeyword, btnSearchSMS);
    verticalLayout->addWidget(widget_3);
    treeViewSMS = make<MyTreeView>(widget_2, "treeViewSMS");
    treeViewSMS->setProperty("showDropIndicator", QVariant(false));
    treeViewSMS->setSelectionMode(QAbstractItemView::ExtendedSelection);
    treeViewSMS->setIndentation(5);
    treeViewSMS->setItemsExpandable(false);
    verticalLayout->addWidget(treeViewSMS);
    splitter_2->addWidget(widget_2);

    widget_6 = make<QWidget>(splitter_2, "widget_6");
    verticalLayout_2 = box<QVBoxLayout>(widget_6, "verticalLayout_2");
    lbChatName = make<QLabel>(widget_6, "lbChatName");
    lbChatName->setMinimumSize(QSize(0, 25));
    verticalLayout_2->addWidget(lbChatName);
    txtSMS = make<SmsBrowser>(widget_6, "txtSMS");
    QSizePolicy browserPolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    browserPolicy.setHorizontalStretch(0);
    browserPolicy.setVerticalStretch(1);
    browserPolicy.setHeightForWidth(txtSMS->sizePolicy().hasHeightForWidth());
    txtSMS->setSizePolicy(browserPolicy);
    txtSMS->setMaximumSize(QSize(16777215, 16777215));
    txtSMS->setFrameShadow(QFrame::Plain);
    txtSMS->setLineWidth(0);
    verticalLayout_2->addWidget(txtSMS);
    lbSMSCount = make<QLabel>(widget_6, "lbSMSCount");
    QSizePolicy countPolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    countPolicy.setHeightForWidth(lbSMSCount->sizePolicy().hasHeightForWidth());
    lbSMSCount->setSizePolicy(countPolicy);
    lbSMSCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    verticalLayout_2->addWidget(lbSMSCount);
    splitter_2->addWidget(widget_6);
    splitter->addWidget(widget);

    window->setCentralWidget(centralWidget);
    menuBar = make<QMenuBar>(window, "menuBar");
    menuBar->setGeometry(QRect(0, 0, 1000, 21));
    window->setMenuBar(menuBar);
    mainToolBar = make<QToolBar>(window, "mainToolBar");
    mainToolBar->setMovable(false);
    mainToolBar->setFloatable(false);
    mainToolBar->setIconSize(QSize(60, 60));
    window->addToolBar(Qt::TopToolBarArea, mainToolBar);
    statusBar = make<QStatusBar>(window, "statusBar");
    window->setStatusBar(statusBar);

    retranslateUi(window);
    QMetaObject::connectSlotsByName(window);
}

void Ui_MainWindow::retranslateUi(QMainWindow* window)
{
    window->setWindowTitle(QCoreApplication::translate("MainWindow", "MainWindow"));
    btnSearchHandle->setText(QCoreApplication::translate("MainWindow", "..."));
    btnSearchSMS->setText(QCoreApplication::translate("MainWindow", "..."));
    lbChatName->setText(QCoreApplication::translate("MainWindow", "Conversations"));
    lbSMSCount->setText(QCoreApplication::translate("MainWindow", "Messages: 0"));
}
