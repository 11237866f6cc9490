// A small HTTP/1.1 server on 127.0.0.1 (ephemeral port) for tests of code that
// talks to the maker's server: it records every request and answers with a
// configurable status and body, then closes the connection.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>

class QTcpSocket;

class LocalHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QByteArray method;
        QByteArray path; // with the query
        QByteArray version;
        QList<QPair<QByteArray, QByteArray>> headers; // in the order sent
        QByteArray body;
        // The value of the first header of that name (any letter case).
        QByteArray header(const QByteArray& name) const;
    };

    LocalHttpServer();

    quint16 port() const { return m_server.serverPort(); }
    // "127.0.0.1:<port>", the form QUILLSPROUT_SERVER takes.
    QByteArray hostPort() const;

    // The answer for requests whose path (without the query) is `path`.
    void setResponse(const QByteArray& path, int status, const QByteArray& body);
    // The answer for every other path; 200 with an empty body at first.
    void setDefaultResponse(int status, const QByteArray& body);

    const QList<Request>& requests() const { return m_requests; }
    // Runs the event loop until `count` requests arrived; it wakes on each
    // request, and the time limit only ends a test whose requests never come.
    bool waitForRequests(int count, int timeoutMs = 120000);

signals:
    void requestReceived();

private:
    struct Response
    {
        int status;
        QByteArray body;
    };

    void onConnection();
    void onReadyRead(QTcpSocket* socket);
    void reply(QTcpSocket* socket, const Request& request);

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QHash<QByteArray, Response> m_responses;
    Response m_default{200, {}};
    QList<Request> m_requests;
};
