// The maker's web server (error reports, version check, announcement) and
// the support address shown to users. QUILLSPROUT_SERVER=host:port points
// the program at another server, which is how tests use a local one.
#pragma once

#include <QString>
#include <QUrl>
#include <QtGlobal>

inline constexpr const char* kMakerServerHost = "quillsprout.example";
inline constexpr quint16 kMakerServerPort = 80;
inline constexpr const char* kSupportEmail = "support@quillsprout.example";

QString g_makerServerHost();
quint16 g_makerServerPort();
// An http URL on the maker's server; `pathAndQuery` such as "/adv.php?pid=x".
QUrl g_makerServerUrl(const QString& pathAndQuery);
