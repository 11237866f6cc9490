#include "makerserver.h"

namespace {
struct HostPort
{
    QString host;
    quint16 port;
};

// Read at every use, so that a test can point a running program elsewhere.
// A missing or unusable port falls back to the default one.
HostPort server()
{
    const QString value = qEnvironmentVariable("QUILLSPROUT_SERVER").trimmed();
    if (value.isEmpty())
        return {QString::fromLatin1(kMakerServerHost), kMakerServerPort};
    const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return {value, kMakerServerPort};
    bool ok = false;
    const ushort port = value.mid(colon + 1).toUShort(&ok);
    const QString host = value.left(colon);
    return {host.isEmpty() ? QString::fromLatin1(kMakerServerHost) : host,
            ok && port != 0 ? quint16(port) : kMakerServerPort};
}
}

QString g_makerServerHost()
{
    return server().host;
}

quint16 g_makerServerPort()
{
    return server().port;
}

QUrl g_makerServerUrl(const QString& pathAndQuery)
{
    const HostPort s = server();
    QUrl url(pathAndQuery);
    url.setScheme(QStringLiteral("http"));
    url.setHost(s.host);
    // The default port stays implicit, so the Host header is the bare name.
    url.setPort(s.port == 80 ? -1 : s.port);
    return url;
}
