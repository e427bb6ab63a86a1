#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>

namespace testing {

// An HTTP server on a loopback address that answers each request with exactly the bytes the test
// gives, then closes the connection. It keeps every request as received and counts what it sent.
class RawHttpServer {
public:
    struct Answer {
        QByteArray bytes;                  // status line, headers, blank line and body, as they go out
        std::chrono::milliseconds drip{0}; // when set, `bytes` go out one byte per interval
        qint64 filler = 0;                 // then this many more bytes, as fast as the client takes them
    };

    // A whole answer: the status, its body with its length, and more header lines ("Name: value\r\n").
    static Answer reply(int status, const QByteArray &body = {}, const QByteArray &headers = {})
    {
        return {"HTTP/1.1 " + QByteArray::number(status) + " Status\r\nContent-Length: " +
                QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + headers + "\r\n" + body};
    }

    static Answer redirect(const QByteArray &location, int status = 302, const QByteArray &headers = {})
    {
        return reply(status, {}, "Location: " + location + "\r\n" + headers);
    }

    explicit RawHttpServer(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost))
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
        m_server.listen(address, 0);
    }

    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString &path) const
    {
        return QUrl(
            QStringLiteral("http://%1:%2%3").arg(m_server.serverAddress().toString()).arg(port()).arg(path));
    }

    // A header's value in the n-th request received; empty when it has none.
    QByteArray header(qsizetype request, const QByteArray &name) const
    {
        return headerIn(requests.at(request), name);
    }

    QList<Answer> answers{reply(200)}; // the n-th request gets the n-th, any later one the last
    QList<QByteArray> requests;        // each request as received: head and body
    qint64 sent = 0;                   // bytes handed to the connections

private:
    static QByteArray headerIn(const QByteArray &message, const QByteArray &name)
    {
        for (const QByteArray &line : message.first(message.indexOf("\r\n\r\n")).split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.first(colon).compare(name, Qt::CaseInsensitive) == 0)
                return line.sliced(colon + 1).trimmed();
        }
        return {};
    }

    void serve(QTcpSocket *socket)
    {
        struct Connection {
            QByteArray received;
            bool answered = false;
        };
        const auto connection = std::make_shared<Connection>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [this](qint64 bytes) { sent += bytes; });
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, connection] {
            QByteArray &received = connection->received;
            received += socket->readAll();
            const qsizetype headEnd = received.indexOf("\r\n\r\n");
            if (connection->answered || headEnd < 0 ||
                received.size() < headEnd + 4 + headerIn(received, "Content-Length").toLongLong())
                return;
            connection->answered = true;
            requests.append(received);
            send(socket, answers.at(std::min(requests.size(), answers.size()) - 1));
        });
    }

    // The bytes at once, or one at a time with the drip's pause before each but the first; then the filler.
    static void send(QTcpSocket *socket, const Answer &answer, qsizetype from = 0)
    {
        if (answer.drip.count() == 0 || from == answer.bytes.size()) {
            socket->write(answer.bytes.sliced(from));
            return stream(socket, answer.filler);
        }
        socket->write(answer.bytes.sliced(from, 1));
        QTimer::singleShot(answer.drip, socket, [socket, answer, from] { send(socket, answer, from + 1); });
    }

    // Writes the filler no faster than the client reads it, then closes.
    static void stream(QTcpSocket *socket, qint64 filler)
    {
        static constexpr qint64 chunk = 64 * 1024;
        const auto left = std::make_shared<qint64>(filler);
        const auto more = [socket, left] {
            while (*left > 0 && socket->bytesToWrite() < chunk) {
                const qint64 size = std::min(*left, chunk);
                socket->write(QByteArray(size, 'x'));
                *left -= size;
            }
            if (*left == 0 && socket->state() == QAbstractSocket::ConnectedState)
                socket->disconnectFromHost();
        };
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
        more();
    }

    QTcpServer m_server;
};

} // namespace testing
