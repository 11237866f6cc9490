// The dialog in which the user chooses a country from the country table and
// gets back its three-digit mobile country code, plus a small cache file
// that keeps such a code between runs.
#pragma once

#include "winmovable.h"

#include <QDialog>
#include <QDir>
#include <QList>
#include <QString>

class Ui_CountrySelForm;

struct CountryItem
{
    QString mmc;  // the first mobile country code of the country
    QString text; // "<English name> (+<calling code>)"
};

class CountrySelForm : public QDialog
{
    Q_OBJECT
public:
    explicit CountrySelForm(QWidget* parent);
    ~CountrySelForm() override;

    // Stores `mmc` in "<name>.mmc" of `dir`; a file that cannot be written
    // is left as it was, silently.
    static void cacheMMC(const QString& mmc, const QDir& dir, const QString& name);
    // The code stored by cacheMMC, up to the first NUL byte; "" when the
    // file cannot be read.
    static QString MMCCache(const QDir& dir, const QString& name);

    // The confirmed choice; empty until one is confirmed.
    QString selectedMmc;

public slots:
    // Closes the dialog only after the user confirmed the current row.
    void accept() override;
    // The only way out is a confirmed choice: Escape and close do nothing.
    void reject() override;
    void kwinput(const QString& kw);

private:
    void loadCountries();
    void appendRow(const CountryItem& item);

    Ui_CountrySelForm* ui;
    WinMovable movable;
    QList<CountryItem> countryItems;
};
