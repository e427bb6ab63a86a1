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
        QJsonObject object{{QStringLiteral("sampledAt"), QStringLiteral("2026-01-01T09:00:00.250Z")},
                           {QStringLiteral("lifecycle"), QStringLiteral("running")},
                           {QStringLiteral("ready"), true},
                           {QStringLiteral("version"), QStringLiteral("1.2.3")},
                           {QStringLiteral("busy"), false},
                           {QStringLiteral("compacting"), false},
                           {QStringLiteral("queueSize"), 0},
                           {QStringLiteral("pid"), 4242},
                           {QStringLiteral("codingSession"), QJsonValue::Null}};
        for (auto it = changes.begin(); it != changes.end(); ++it)
            object.insert(it.key(), it.value());
        for (const QString &key : removed)
            object.remove(key);
        return QJsonDocument(object).toJson(QJsonDocument::Compact);
    }
};

} // namespace testing
