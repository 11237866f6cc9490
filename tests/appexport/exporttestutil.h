// Reading exports back in the tests: files, a CSV parser, and the poppler
// tools that read PDF files (text per page, page count, fonts, rendering).
#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace ExportTestUtil {

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

// Records of RFC 4180 CSV: quoted fields may hold commas, quotes (doubled)
// and line feeds.
inline QList<QStringList> parseCsv(const QString& text)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            record << field;
            field.clear();
        } else if (c == QLatin1Char('\n')) {
            record << field;
            records << record;
            record.clear();
            field.clear();
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !record.isEmpty())
        records << (record << field);
    return records;
}

inline QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline int pdfPages(const QString& pdf)
{
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    for (const QString& line : info.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("Pages:")))
            return line.mid(6).trimmed().toInt();
    return -1;
}

// The text of one page, 1-based.
inline QString pdfPageText(const QString& pdf, int page)
{
    return run(QStringLiteral("pdftotext"),
               {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"), QString::number(page),
                QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
}

inline QString pdfFonts(const QString& pdf)
{
    return run(QStringLiteral("pdffonts"), {pdf});
}

// Every page rendered in grey at a low resolution, in page order.
inline QList<QImage> pdfRender(const QString& pdf)
{
    QTemporaryDir dir;
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("30"), QStringLiteral("-gray"),
                                     QStringLiteral("-png"), pdf, dir.filePath(QStringLiteral("p"))});
    QList<QImage> pages;
    for (int i = 1;; ++i) {
        // pdftoppm pads the page number to the width of the last one.
        QImage image;
        for (const QString& pad : {QStringLiteral("%1"), QStringLiteral("0%1"), QStringLiteral("00%1")})
            if (image.load(dir.filePath(QStringLiteral("p-") + pad.arg(i) + QStringLiteral(".png"))))
                break;
        if (image.isNull())
            return pages;
        pages << image;
    }
}

// Dark pixels in the part of the page above `bottomFraction` of its height
// (the page number lies below it).
inline int inkAbove(const QImage& page, double bottomFraction)
{
    int ink = 0;
    const int rows = int(page.height() * bottomFraction);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < page.width(); ++x)
            ink += qGray(page.pixel(x, y)) < 128;
    return ink;
}

} // namespace ExportTestUtil
