#include "versioncheck.h"

#include <QDateTime>
#include <QFile>
#include <QMessageBox>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>

#include "data_path_util.h"
#include "desktopopen.h"
#include "makerserver.h"
#include "productinfo.h"
#include "tips.h"

namespace {

constexpr qint64 kMaxBody = 64 * 1024;

QString timeFilePath()
{
    return g_dataSaveDir().absoluteFilePath(QStringLiteral("last-check-version-time"));
}

QString advFilePath()
{
    return g_dataSaveDir().absoluteFilePath(QStringLiteral("last-adv"));
}

QByteArray upToNul(QByteArray bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return bytes;
}

// Through a temporary file and a rename; a failure leaves the old file.
void replaceFile(const QString& path, const QByteArray& content)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(content) == content.size())
        file.commit();
}

void recordCheckTime()
{
    replaceFile(timeFilePath(), QByteArray::number(QDateTime::currentSecsSinceEpoch()));
}

// A box like the application's others, with only the buttons given.
bool askDownload(QMessageBox::Icon icon, const QString& text, const QStringList& buttons)
{
    QPointer<QMessageBox> box = g_newMessageBox(icon, text);
    QPushButton* download = box->addButton(buttons.at(0), QMessageBox::AcceptRole);
    if (buttons.size() > 1)
        box->addButton(buttons.at(1), QMessageBox::RejectRole);
    box->exec();
    const bool chosen = box && box->clickedButton() == download;
    delete box;
    return chosen;
}

// Reply bodies are small; a longer one is no answer of ours.
QByteArray body(QNetworkReply* reply)
{
    return upToNul(reply->read(kMaxBody));
}

bool isOk(QNetworkReply* reply)
{
    return reply->error() == QNetworkReply::NoError
        && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
}

} // namespace

VersionCheck::VersionCheck(QObject* parent)
    : QObject(parent)
    , openLink([](const QString& link) { g_openLinkOrTell(link); })
{
}

bool VersionCheck::isDue(qint64 now)
{
    QFile file(timeFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return true;
    bool number = false;
    const qint64 last = QString::fromLatin1(upToNul(file.read(64))).toLongLong(&number);
    if (!number || last == 0)
        return true;
    // A recorded time later than now wraps round and counts as long past.
    return quint32(now - last) >= kInterval;
}

QString VersionCheck::savedAnnouncement()
{
    QFile file(advFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(upToNul(file.read(kMaxBody)));
}

QString VersionCheck::styledAnnouncement(const QString& text)
{
    static const QRegularExpression start(QStringLiteral("^<a"), QRegularExpression::CaseInsensitiveOption);
    if (!start.match(text).hasMatch())
        return QString();
    QString styled = text;
    styled.replace(start, QStringLiteral("<a style=\"color:%1;text-decoration:none;\"").arg(QLatin1String("#FF6016")));
    return styled;
}

QNetworkReply* VersionCheck::get(const QString& pathAndQuery)
{
    QNetworkRequest request(g_makerServerUrl(pathAndQuery));
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    return m_network.get(request);
}

bool VersionCheck::startIfDue()
{
    if (!isDue(QDateTime::currentSecsSinceEpoch()))
        return false;
    const QString pid = QString::fromLatin1(kProductId);
    QNetworkReply* version = get(QStringLiteral("/sms_check_update.php?pid=%1&ver=%2&q=1").arg(pid).arg(kVersionNumber));
    connect(version, &QNetworkReply::finished, this, [this, version] { onVersionReply(version); });
    QNetworkReply* adv = get(QStringLiteral("/adv.php?pid=%1").arg(pid));
    connect(adv, &QNetworkReply::finished, this, [this, adv] { onAnnouncementReply(adv); });
    return true;
}

void VersionCheck::onVersionReply(QNetworkReply* reply)
{
    reply->deleteLater();
    if (!isOk(reply))
        return; // nothing recorded: the next start asks again
    // A server's reply often ends in a line break: the link is what is
    // between the white space.
    const QString text = QString::fromLatin1(body(reply)).trimmed();
    if (text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) {
        const QString product = g_productTitle();
        if (QFile::exists(timeFilePath())) {
            const bool now = askDownload(QMessageBox::Question,
                                         QStringLiteral("A new version of %1 is available. To support your phone, "
                                                        "please download the latest version.")
                                             .arg(product),
                                         {QStringLiteral("Download now"), QStringLiteral("Download later")});
            if (now) {
                openLink(text);
                emit exitRequested();
                return;
            }
        } else {
            askDownload(QMessageBox::Warning,
                        QStringLiteral("This version of Quillsprout software has become obsolete. Please download "
                                       "the latest version to install on your computer."),
                        {QStringLiteral("Download")});
            openLink(text);
            emit exitRequested();
            return;
        }
    }
    recordCheckTime();
}

void VersionCheck::onAnnouncementReply(QNetworkReply* reply)
{
    reply->deleteLater();
    if (!isOk(reply))
        return;
    const QString styled = styledAnnouncement(QString::fromUtf8(body(reply)));
    if (styled.isEmpty())
        return;
    emit announcement(styled);
    replaceFile(advFilePath(), styled.toUtf8());
}
