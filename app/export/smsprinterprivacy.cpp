#include "smsprinterprivacy.h"

#include "msgrecords.h"

#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QTextLayout>

#include <cmath>

namespace {

const QColor kSentColor(0, 128, 64);
const QColor kReceivedColor(0, 0, 255);

constexpr qreal kGapAfterDate = 5;
constexpr qreal kGapAfterName = 5;
constexpr qreal kGapAfterText = 30;
constexpr qreal kBlockExtra = 10; // added to the three heights when testing the room left
constexpr qreal kNumberGap = 2;
constexpr qreal kNumberHeight = 18;

// Line breaks inside a text start new lines, as in QPainter::drawText.
QString withLineSeparators(QString text)
{
    text.replace(QLatin1StringView("\r\n"), QString(QChar::LineSeparator));
    for (QChar& c : text)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QChar::LineSeparator;
    return text;
}

} // namespace

SMSPrinterPrivacy::SMSPrinterPrivacy()
    : m_dates(DateTextFormatter::systemShort())
{
}

QFont SMSPrinterPrivacy::textFont()
{
    QFont font = QGuiApplication::font();
    font.setPointSize(12);
    font.setFamilies({font.family(), QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("Symbola")});
    return font;
}

bool SMSPrinterPrivacy::reset(QPagedPaintDevice* device)
{
    m_device = device;
    m_unit = device->logicalDpiY() / 72.0;
    const QPageLayout page = device->pageLayout();
    const QMarginsF margins = page.margins(QPageLayout::Point);
    const QRect paint = page.paintRectPixels(device->logicalDpiX());
    m_content = QRect(int(points(margins.left())), int(points(margins.top())),
                      int(paint.width() - points(margins.left() + margins.right())),
                      int(paint.height() - points(margins.top() + margins.bottom())));
    m_curY = m_content.top();
    m_pageNumber = 1;
    if (!m_painter.begin(device))
        return false;
    m_font = textFont();
    m_painter.setFont(m_font);
    drawPageNumber();
    return true;
}

bool SMSPrinterPrivacy::end()
{
    return m_painter.isActive() && m_painter.end();
}

void SMSPrinterPrivacy::drawPageNumber()
{
    m_painter.setPen(Qt::black);
    const QRectF band(m_content.left(), m_content.bottom() + points(kNumberGap), m_content.width(),
                      points(kNumberHeight));
    m_painter.drawText(band, QString::number(m_pageNumber), QTextOption(Qt::AlignRight));
}

void SMSPrinterPrivacy::nextPage()
{
    m_device->newPage();
    m_curY = m_content.top();
    ++m_pageNumber;
    drawPageNumber();
}

void SMSPrinterPrivacy::checkAndNextPage(qreal height)
{
    const qreal roomLeft = m_content.top() + m_content.height() - m_curY;
    if (roomLeft >= height)
        return;
    // A block taller than a whole page is not moved off a fresh page: it
    // starts there and is broken between its lines.
    if (m_curY > m_content.top() || height <= m_content.height())
        nextPage();
}

qreal SMSPrinterPrivacy::layoutText(QTextLayout& layout) const
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setFont(m_font);
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(m_content.width());
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return std::ceil(height);
}

// Lines go one below the other; a line that does not fit below the current
// one goes to the top of the next page.
void SMSPrinterPrivacy::drawLines(QTextLayout& layout)
{
    const qreal bottom = m_content.top() + m_content.height();
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        if (m_curY + line.height() > bottom && m_curY > m_content.top()) {
            const QPen pen = m_painter.pen();
            nextPage();
            m_painter.setPen(pen);
        }
        line.draw(&m_painter, QPointF(m_content.left(), m_curY - line.y()));
        m_curY += line.height();
    }
}

void SMSPrinterPrivacy::print(const _MsgMessage& message)
{
    if (!m_painter.isActive())
        return;
    QString date;
    m_dates.appendTo(date, message.date);
    const QString name = (message.is_from_me != 0 ? QStringLiteral("To: ") : QStringLiteral("From: "))
                         + m_names.displayName(message.chat);
    QTextLayout dateLayout(withLineSeparators(date), m_font, m_device);
    QTextLayout nameLayout(withLineSeparators(name), m_font, m_device);
    QTextLayout bodyLayout(withLineSeparators(message.summary()), m_font, m_device);
    const qreal dateHeight = layoutText(dateLayout);
    const qreal nameHeight = layoutText(nameLayout);
    const qreal bodyHeight = layoutText(bodyLayout);
    checkAndNextPage(dateHeight + nameHeight + bodyHeight + points(kBlockExtra));

    m_painter.setPen(message.is_from_me != 0 ? kSentColor : kReceivedColor);
    drawLines(dateLayout);
    m_curY += points(kGapAfterDate);
    drawLines(nameLayout);
    m_curY += points(kGapAfterName);
    m_painter.setPen(Qt::black);
    drawLines(bodyLayout);
    m_curY += points(kGapAfterText);
}
