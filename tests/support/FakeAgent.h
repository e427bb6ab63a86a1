#pragma once

#include "support/RawHttpServer.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace testing {

// The running agent's status endpoint on 127.0.0.1: it answers `sample()` until told otherwise.
class FakeAgent : public RawHttpServer {
public:
    FakeAgent() { answerWith(sample()); }

    void answerWith(const QByteArray &body, int status = 200) { answers = {reply(status, body)}; }

    // Writes the port and token files the client reads.
    void publish(const QString &profileDirectory, const QByteArray &token = "secret-token") const
    {
        writeFile(profileDirectory + QStringLiteral("/tui-port"), QByteArray::number(port()) + '\n');
        writeFile(profileDirectory + QStringLiteral("/tui-token"), token + '\n');
    }

    // A sample as the agent sends it; `changes` replace or add keys, `removed` leaves keys out.
    static QByteArray sample(const QJsonObject &changes = {}, const QStringList &removed = {})
    {
        QJsonObject object = QJsonDocument::fromJson(
            R"({"sampledAt":"2026-01-01T09:00:00.250Z","lifecycle":"running","ready":true,"version":"1.2.3",)"
            R"("busy":false,"compacting":false,"queueSize":0,"pid":4242,"codingSession":null})").object();
        for (auto it = changes.begin(); it != changes.end(); ++it)
            object.insert(it.key(), it.value());
        for (const QString &key : removed)
            object.remove(key);
        return QJsonDocument(object).toJson(QJsonDocument::Compact);
    }
};

} // namespace testing
