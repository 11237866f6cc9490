// Draws the two pictures of the backup-settings warnings: where the user
// turns iCloud backup off on the phone, and where encrypted backups are
// switched off on the computer. Run once from this folder; the JPEGs are
// checked in beside it. Build: g++ -fPIC make_backup_pictures.cpp
// $(pkg-config --cflags --libs Qt6Gui) -o /tmp/mbp && QT_QPA_PLATFORM=offscreen /tmp/mbp
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

namespace {

void screen(QPainter& p, QRect r, const QString& title, const QStringList& rows, int marked)
{
    p.setPen(QColor(0x99, 0x99, 0x99));
    p.setBrush(QColor(0xef, 0xef, 0xf4));
    p.drawRoundedRect(r, 12, 12);
    p.setPen(Qt::black);
    p.drawText(QRect(r.left(), r.top() + 10, r.width(), 24), Qt::AlignCenter, title);
    for (int i = 0; i < rows.size(); ++i) {
        const QRect row(r.left() + 10, r.top() + 50 + i * 40, r.width() - 20, 32);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(row);
        p.setPen(Qt::black);
        p.drawText(row.adjusted(8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, rows[i]);
        if (i == marked) {
            p.setPen(QPen(QColor(0xd0, 0x10, 0x10), 3));
            p.setBrush(Qt::NoBrush);
            p.drawRect(row.adjusted(-3, -3, 3, 3));
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QImage icloud(480, 367, QImage::Format_RGB32);
    icloud.fill(Qt::white);
    {
        QPainter p(&icloud);
        screen(p, QRect(10, 10, 225, 347), "iCloud", {"Mail", "Contacts", "Calendars", "Backup"}, 3);
        screen(p, QRect(245, 10, 225, 347), "Backup", {"iCloud Backup            OFF"}, 0);
    }
    icloud.save("close_icloudbk.jpg", "JPG", 85);
    QImage encrypt(500, 339, QImage::Format_RGB32);
    encrypt.fill(Qt::white);
    {
        QPainter p(&encrypt);
        screen(p, QRect(10, 10, 480, 319), "Summary",
               {"Backups", "This computer", "[ ] Encrypt iPhone backup", "Change Password..."}, 2);
    }
    encrypt.save("close_itunesbkenc.jpg", "JPG", 85);
    return 0;
}
