#include "tips.h"

#include "desktopopen.h"
#include "makerserver.h"
#include "productinfo.h"
#include "stylesheet.h"
#include "winmovable.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QMainWindow>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>

QWidget* g_messageBoxParent()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow(); active && active->isVisible())
        return active;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        if (window->isVisible() && qobject_cast<QMainWindow*>(window))
            return window;
    return nullptr;
}

QMessageBox* g_newMessageBox(QMessageBox::Icon icon, const QString& text)
{
    auto* box = new QMessageBox(icon, g_productTitle(), text, QMessageBox::NoButton, g_messageBoxParent());
    (new WinMovable(box))->setParent(box);
    box->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    box->setStyleSheet(getStyleSheet());
    return box;
}

namespace {
// The box's text label. Its links go through our opener, which tells the
// user when no browser takes them, rather than vanishing silently.
void routeLinks(QMessageBox& box, bool selectable)
{
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label)
        return;
    label->setOpenExternalLinks(false);
    QObject::connect(label, &QLabel::linkActivated, &box, [](const QString& link) { g_openLinkOrTell(link); });
    if (selectable)
        label->setTextInteractionFlags(Qt::TextBrowserInteraction);
}

// The box lives on the heap under its parent: a parent dialog that closes
// while the box is open deletes it, and the QPointer sees that.
int showBox(QMessageBox::Icon icon, const QString& text, int buttons, QMessageBox::StandardButton defaultButton,
            bool selectable = false)
{
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    QPointer<QMessageBox> box = g_newMessageBox(icon, text);
    for (const QMessageBox::StandardButton button :
         {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel}) {
        if (buttons & button)
            box->addButton(button);
    }
    if (defaultButton != QMessageBox::NoButton)
        box->setDefaultButton(defaultButton);
    routeLinks(*box, selectable);
    const int answer = box->exec();
    delete box;
    return answer;
}
} // namespace

int g_showMessageBox(QMessageBox::Icon icon, const QString& text, int buttons)
{
    return showBox(icon, text, buttons, QMessageBox::NoButton);
}

QString prodInfoDisplay()
{
    return g_productTitle() + QStringLiteral(" v%1").arg(QLatin1String(kVersionText));
}

QString base64_var(const QString& text)
{
    QByteArray encoded = text.toUtf8().toBase64();
    encoded.replace('/', '!').replace('=', '-');
    return QString::fromLatin1(encoded);
}

namespace {
// The report travels as plain text: line-break tags become CR LF and any
// other markup is escaped.
QString reportText(const QString& message)
{
    static const QRegularExpression lineBreak(QStringLiteral("< *br */?>"),
                                              QRegularExpression::CaseInsensitiveOption);
    QString text = message;
    text.replace(lineBreak, QStringLiteral("\r\n"));
    text.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    text.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return text;
}

QString boxHeading()
{
    return QStringLiteral("<nobr><b>") + prodInfoDisplay() + QStringLiteral("</b></nobr><br/><br/>");
}

void showError(const QString& boxText, const QString& message)
{
    g_showMessageBox(QMessageBox::Critical, boxText, QMessageBox::Ok);
    report_err(message);
}
}

void report_err(const QString& message)
{
    const QString body = QStringLiteral("prod=") + base64_var(g_productTitle())
        + QStringLiteral("&ver=") + base64_var(QStringLiteral("%1(%2)").arg(QLatin1String(kVersionText)).arg(kVersionNumber))
        + QStringLiteral("&err=") + base64_var(reportText(message));

    QNetworkRequest request(g_makerServerUrl(QStringLiteral("/err_report.php")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);

    // One client per report, released with its reply; the application owns
    // it so that a report still pending at exit is cleaned up too.
    auto* client = new QNetworkAccessManager(QCoreApplication::instance());
    QNetworkReply* reply = client->post(request, body.toUtf8());
    QObject::connect(reply, &QNetworkReply::finished, client, &QObject::deleteLater);
}

void Tips::info(const QString& text)
{
    g_showMessageBox(QMessageBox::Information, text, QMessageBox::Ok);
}

void Tips::warning(const QString& text)
{
    g_showMessageBox(QMessageBox::Warning, text, QMessageBox::Ok);
}

void Tips::warningSelectable(const QString& text)
{
    showBox(QMessageBox::Warning, text, QMessageBox::Ok, QMessageBox::NoButton, true);
}

bool Tips::question(const QString& text)
{
    return g_showMessageBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool Tips::confirmDelete(const QString& text)
{
    return showBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void Tips::error(const QString& message)
{
    const QString sentence = QStringLiteral("An Error Occurred. <br/><br/>%1<br/><br/> Or you can contact ").arg(message)
        + QLatin1String(kSupportEmail) + QStringLiteral(" for help.");
    showError(boxHeading() + sentence, message);
}

void Tips::errorWithoutPrefix(const QString& message)
{
    showError(boxHeading() + message, message);
}
