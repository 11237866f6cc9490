// The page layout through which printing and the PDF export draw, so that a
// printed page and a PDF page look the same: one block per message (date,
// "To: " or "From: " with the conversation's name, text) from top to bottom,
// a page break before a block that does not fit, and the page number at the
// foot of every page. A block taller than a whole page starts on a fresh page
// and goes on over the next pages, broken between lines.
//
// Lengths are given in points and drawn in the device's units: the content
// lies inside the device's margins by the margins once more; the page number
// sits in a band 18 points high, 2 points below the content.
#pragma once

#include "chatnamecache.h"
#include "datetextformatter.h"

#include <QFont>
#include <QPainter>
#include <QRect>

class QPagedPaintDevice;
class QTextLayout;
struct _MsgMessage;

class SMSPrinterPrivacy
{
public:
    SMSPrinterPrivacy();

    // Binds the layout to `device`, starts page 1 and begins painting. False
    // (and nothing is drawn later) when painting cannot begin.
    bool reset(QPagedPaintDevice* device);
    void print(const _MsgMessage& message);
    // Ends the painting; for PDF output this completes the file.
    bool end();

    const QRect& contentRect() const { return m_content; }
    int pageCount() const { return m_pageNumber; }

    // The font of every text: the application's font at 12 points, with the
    // installed fonts for emoji and Chinese, Japanese and Korean behind it.
    static QFont textFont();

private:
    // Room that a text takes at the content width.
    qreal layoutText(QTextLayout& layout) const;
    void drawLines(QTextLayout& layout);
    void checkAndNextPage(qreal height);
    void nextPage();
    void drawPageNumber();
    qreal points(qreal value) const { return value * m_unit; }

    QPagedPaintDevice* m_device = nullptr;
    QPainter m_painter;
    QFont m_font;
    QRect m_content;
    qreal m_unit = 1; // device units per point
    qreal m_curY = 0;
    int m_pageNumber = 0;
    DateTextFormatter m_dates;
    ChatNameCache m_names;
};
