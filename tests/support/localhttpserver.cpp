#include "localhttpserver.h"

#include <QTcpSocket>
#include <QEventLoop>
#include <QTimer>

namespace {
// Only what the tests' clients send: a request line, headers, and a body of
// Content-Length bytes. False while the request is not complete yet.
bool parseRequest(const QByteArray& data, LocalHttpServer::Request& request)
{
    const qsizetype headerEnd = data.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return false;
    const QList<QByteArray> lines = data.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3)
        return false;
    request.method = requestLine[0];
    request.path = requestLine[1];
    request.version = requestLine[2];
    request.headers.clear();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }
    const qsizetype length = request.header("Content-Length").toLongLong();
    const qsizetype bodyStart = headerEnd + 4;
    if (data.size() - bodyStart < length)
        return false;
    request.body = data.mid(bodyStart, length);
    return true;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}
}

QByteArray LocalHttpServer::Request::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

LocalHttpServer::LocalHttpServer()
{
    connect(&m_server, &QTcpServer::newConnection, this, &LocalHttpServer::onConnection);
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        qFatal("LocalHttpServer: cannot listen on 127.0.0.1");
}

QByteArray LocalHttpServer::hostPort() const
{
    return "127.0.0.1:" + QByteArray::number(port());
}

void LocalHttpServer::setResponse(const QByteArray& path, int status, const QByteArray& body)
{
    m_responses.insert(path, {status, body});
}

void LocalHttpServer::setDefaultResponse(int status, const QByteArray& body)
{
    m_default = {status, body};
}

bool LocalHttpServer::waitForRequests(int count, int timeoutMs)
{
    if (m_requests.size() >= count)
        return true;
    QEventLoop loop;
    connect(this, &LocalHttpServer::requestReceived, &loop, [&] {
        if (m_requests.size() >= count)
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return m_requests.size() >= count;
}

void LocalHttpServer::onConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void LocalHttpServer::onReadyRead(QTcpSocket* socket)
{
    QByteArray& data = m_pending[socket];
    data += socket->readAll();
    Request request;
    if (!parseRequest(data, request))
        return;
    m_pending.remove(socket);
    m_requests.append(request);
    reply(socket, request);
    emit requestReceived();
}

void LocalHttpServer::reply(QTcpSocket* socket, const Request& request)
{
    const QByteArray path = request.path.split('?').first();
    const Response response = m_responses.value(path, m_default);
    socket->write("HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n"
                  + "Content-Type: text/html\r\nContent-Length: " + QByteArray::number(response.body.size())
                  + "\r\nConnection: close\r\n\r\n" + response.body);
    socket->disconnectFromHost();
}
