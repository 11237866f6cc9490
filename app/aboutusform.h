// The about box of the Help menu: the application picture, the product title
// with its version, the maker's home page and the rights line of this year.
#pragma once

#include "winmovable.h"

#include <QDialog>

class Ui_AboutUsForm;

class AboutUsForm : public QDialog
{
    Q_OBJECT
public:
    explicit AboutUsForm(QWidget* parent);
    ~AboutUsForm() override;

    // The maker's home page that the box links to.
    static QString homePageUrl();

private:
    // Space kept between the widest label and the box's right edge.
    static constexpr int kMargin = 19;
    void fitToTexts();

    WinMovable movable;
    Ui_AboutUsForm* ui;
};
