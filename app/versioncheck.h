// The start-up version check and announcement: two GET requests to the
// maker's server, at most once in 86401 seconds while the server answers.
// A download link leads to a download offer (or, with no earlier check on
// record, a forced download) and then to a normal exit; an announcement link
// is shown in the status bar and kept for the next start. Replies are acted
// on once, when complete.
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

#include <functional>

class QNetworkReply;

class VersionCheck : public QObject
{
    Q_OBJECT
public:
    // The seconds for which an answered check suppresses the next one.
    static constexpr quint32 kInterval = 86401;

    explicit VersionCheck(QObject* parent = nullptr);

    // Whether the check is due at `now` (seconds since 1970), after the time
    // of the last answered check on record.
    static bool isDue(qint64 now);
    // The announcement kept by the last run; empty when there is none.
    static QString savedAnnouncement();
    // "<a" at the start (any case) becomes an a-tag drawn orange without
    // underline; other texts come back empty, meaning no announcement.
    static QString styledAnnouncement(const QString& text);

    // Sends both requests when the check is due; true when sent.
    bool startIfDue();

    // How the download link is opened; tests replace it.
    std::function<void(const QString&)> openLink;

signals:
    void announcement(const QString& html);
    // The download link was opened: the program is to end.
    void exitRequested();

private:
    void onVersionReply(QNetworkReply* reply);
    void onAnnouncementReply(QNetworkReply* reply);
    QNetworkReply* get(const QString& pathAndQuery);

    QNetworkAccessManager m_network{this};
};
