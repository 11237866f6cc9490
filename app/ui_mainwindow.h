// The main window's form: builds the widget tree once (source tree with its
// search box on the left; message list with its search box above the
// conversation browser on the right; menu bar, toolbar and status bar) and
// keeps a pointer to every widget and layout. Object names equal the field
// names: the style sheet selects by them.
#pragma once

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenuBar;
class QSplitter;
class QStatusBar;
class QToolBar;
class QToolButton;
class QVBoxLayout;
class QWidget;
class MyTreeView;
class SmsBrowser;

class Ui_MainWindow
{
public:
    QWidget* centralWidget;
    QVBoxLayout* verticalLayout_4;
    QSplitter* splitter;
    QWidget* widget_5;
    QVBoxLayout* verticalLayout_3;
    QWidget* widget_4;
    QHBoxLayout* horizontalLayout_2;
    QLineEdit* txtHandleKeyword;
    QToolButton* btnSearchHandle;
    MyTreeView* treeViewDS;
    QWidget* widget;
    QVBoxLayout* verticalLayout_5;
    QSplitter* splitter_2;
    QWidget* widget_2;
    QVBoxLayout* verticalLayout;
    QWidget* widget_3;
    QHBoxLayout* horizontalLayout;
    QLineEdit* txtSMSKeyword;
    QToolButton* btnSearchSMS;
    MyTreeView* treeViewSMS;
    QWidget* widget_6;
    QVBoxLayout* verticalLayout_2;
    QLabel* lbChatName;
    SmsBrowser* txtSMS;
    QLabel* lbSMSCount;
    QMenuBar* menuBar;
    QToolBar* mainToolBar;
    QStatusBar* statusBar;

    void setupUi(QMainWindow* window);
    void retranslateUi(QMainWindow* window);
};
