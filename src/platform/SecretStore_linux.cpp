// The Secret Service through QtKeychain. Its jobs run one after another in the order they were
// started, so a delete, an add and a read issued in that order also take effect in that order.
#include "platform/SecretStore.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <chrono>

namespace platform {

namespace {

// A locked keyring may wait for an unlock prompt that nobody answers.
constexpr std::chrono::milliseconds readLimit{2000};

template <typename Job> Job *job(const QString &service, const QString &account)
{
    auto *job = new Job(service); // deletes itself once finished
    job->setKey(account);
    job->setInsecureFallback(false); // never a plain-text file in place of the store
    return job;
}

} // namespace

std::optional<QByteArray> readSecret(const QString &service, const QString &account)
{
    auto *read = job<QKeychain::ReadPasswordJob>(service, account);
    std::optional<QByteArray> data;
    QEventLoop loop;
    // The connections end with the loop: a job that finishes after the limit finds no one waiting.
    QObject::connect(read, &QKeychain::Job::finished, &loop, [&data, &loop, read] {
        if (read->error() == QKeychain::NoError)
            data = read->binaryData();
        loop.quit();
    });
    QTimer::singleShot(readLimit, &loop, &QEventLoop::quit);
    read->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return data;
}

void deleteSecret(const QString &service, const QString &account)
{
    job<QKeychain::DeletePasswordJob>(service, account)->start();
}

void addSecret(const QString &service, const QString &account, const QByteArray &data)
{
    auto *write = job<QKeychain::WritePasswordJob>(service, account);
    write->setBinaryData(data);
    write->start();
}

} // namespace platform
