#pragma once

#include "app/ModelFixture.h"
#include "cli/CLIService.h"
#include "cli/Errors.h"

#include <QSet>

#include <variant>

namespace testing {

using namespace tallowmere;

inline const QByteArray allFourPermissions = "screenRecording\naccessibility\nautomation\nfullDiskAccess\n";

using OwnerSetupAnswer = std::variant<OwnerSetupSession, std::exception_ptr>;

// A model whose outside world is fakes that answer as told and note each call, in order: "prepare",
// "daemon", "started", "check:<kind>", "prepare:<kind>", "settings:<kind or none>", "binding",
// "open:<host>" (the sign-in page), "browse:<url>" and "copy:<url>" (the binding page). The setup command
// is run by the real runner, from a script the test writes. Sleeps run on virtual time.
struct OutsideWorld {
    VirtualTime time;
    ModelFixture fixture;
    QStringList calls;
    QSet<PermissionKind> granted{PermissionKind::screenRecording, PermissionKind::accessibility,
                                 PermissionKind::automation, PermissionKind::fullDiskAccess};
    bool preparationGrants = false;   // what the system prompts of Accessibility and Automation answer
    bool checksRunChild = false;      // a check is a real child of the runner, running until stopped
    platform::Wakeup *hold = nullptr; // when set, runtime preparation waits for it to fire
    CLIResult prepareResult, daemonResult;
    std::optional<TallowmereNativeError> prepareThrows;
    bool agentAnswers = true;
    bool opens = true; // opening a page, and copying its link
    // The onboarding service: the n-th request gets the n-th answer, any later one the last, after
    // `requestTime` of virtual time. Each request as "<held link's fragment or none> force=<0|1>".
    QList<OwnerSetupAnswer> answers{OwnerSetupSession{
        true, QUrl(QStringLiteral("https://onboarding.test/owner/agents/a/setup#t")), std::nullopt, false, {}}};
    std::chrono::milliseconds requestTime{0};
    QStringList requests;
    QList<QDateTime> requestTimes;
    std::optional<OwnerSetupLink> stored; // the link store
    int saves = 0;
    std::shared_ptr<CLIService> cli =
        std::make_shared<CLIService>(CLIService::Configuration::forHome(fixture.home.path()));
    std::unique_ptr<AppModel> model;

    // State files: the install stage (nullptr: none), the configuration, the verified permissions.
    OutsideWorld &at(const char *stage, bool configured,
                     const char *completed = allFourPermissions.constData())
    {
        fixture.write("mac-app-install-stage", stage);
        if (configured)
            fixture.configure();
        fixture.write("mac-app-permissions-completed", completed);
        return *this;
    }

    // The setup command: notes its arguments and standard input in the home, then runs `body`; without a
    // body, the bundle lacks the resource script.
    void setupScript(const char *body)
    {
        const QString script = fixture.home.path() + QStringLiteral("/cli-session.sh");
        writeFile(script,
                  "printf '%s\\n' \"$@\" >\"$HOME/args\"\ncat >\"$HOME/stdin\"\n" + QByteArray(body) + '\n');
        auto configuration = CLIService::Configuration::forHome(fixture.home.path());
        configuration.resourceScript = body ? std::optional(script) : std::nullopt;
        cli = std::make_shared<CLIService>(configuration);
    }

    AppModel &build(bool autoResume = false)
    {
        AppModel::Operations o;
        o.environmentPrepare = [this](OutputHandler) {
            return reply(QStringLiteral("prepare"), prepareResult, prepareThrows, hold);
        };
        o.daemonInstall = [this](OutputHandler) { return reply(QStringLiteral("daemon"), daemonResult); };
        o.agentStarted = [this] { return reply(QStringLiteral("started"), agentAnswers); };
        o.permissionCheck = [this](PermissionKind kind) {
            if (!checksRunChild)
                return reply("check:" + rawValue(kind), granted.contains(kind));
            calls << "check:" + rawValue(kind);
            return childCheck(cli);
        };
        o.permissionPrepare = [this](PermissionKind kind) {
            return reply("prepare:" + rawValue(kind), preparationGrants);
        };
        o.openSystemSettings = [this](std::optional<PermissionKind> kind) {
            calls << "settings:" + (kind ? rawValue(*kind) : QStringLiteral("none"));
        };
        o.ownerSetupRequest = [this](std::optional<QUrl> held, bool force) {
            return session(this, held, force);
        };
        o.setupAuthorizationOpen = [this](QUrl url) { return reply("open:" + url.host(), opens); };
        o.ownerSetupOpen = [this](QUrl url) { return reply("browse:" + url.toString(), opens); };
        o.ownerSetupCopy = [this](QUrl url) { return calls << "copy:" + url.toString(), opens; };
        o.ownerSetupLinkSave = [this](std::optional<QUrl> url, std::optional<QDateTime> expiresAt) {
            ++saves;
            stored = url ? std::optional(OwnerSetupLink{*url, expiresAt}) : std::nullopt;
        };
        o.ownerSetupLinkLoad = [this] { return stored; };
        o.agentUpdateVersion = []() -> QCoro::Task<std::optional<QString>> { co_return std::nullopt; };
        model = fixture.build(o, cli, autoResume);
        return *model;
    }

    // Runs a task to its end, moving virtual time along in steps while it waits.
    bool settle(QCoro::Task<> task, std::chrono::milliseconds step = std::chrono::milliseconds(100))
    {
        const Running running(std::move(task));
        for (int i = 0; i < 2000 && !spinUntil([&] { return running.done(); }, std::chrono::milliseconds(1));
             ++i)
            time.advance(step);
        return running.done();
    }

    // The arguments of the calls named `name`, joined by commas.
    QString called(const QString &name) const
    {
        QStringList found;
        for (const QString &call : calls) {
            if (call.startsWith(name + u':'))
                found << call.mid(name.size() + 1);
        }
        return found.join(u',');
    }
    // The last error as "CODE message", "-" for none.
    QString error() const
    {
        return model->lastError() ? model->lastError()->code + u' ' + model->lastError()->message
                                  : QStringLiteral("-");
    }
    QString permissions() const { return permissionLetters(model->permissions()); }

private:
    // Notes the call at once, then answers, after `wait` fires when one is given.
    template <typename T>
    QCoro::Task<T> reply(QString call, T value, std::optional<TallowmereNativeError> thrown = {},
                         platform::Wakeup *wait = nullptr)
    {
        calls << call;
        if (wait)
            co_await wait->wait();
        if (thrown)
            throw *thrown;
        co_return value;
    }

    static QCoro::Task<bool> childCheck(std::shared_ptr<CLIService> cli)
    {
        QStringList arguments{QStringLiteral("-c"), QStringLiteral("sleep 30")};
        co_return (co_await cli->execute(std::move(arguments), std::nullopt, {}, {})).status == 0;
    }

    static QCoro::Task<OwnerSetupSession> session(OutsideWorld *w, std::optional<QUrl> held, bool force)
    {
        w->calls << QStringLiteral("binding");
        w->requests << (held ? held->fragment() : QStringLiteral("none")) +
                           QStringLiteral(" force=%1").arg(force);
        w->requestTimes << platform::clock().now();
        const OwnerSetupAnswer answer = w->answers.at(std::min(w->requests.size(), w->answers.size()) - 1);
        if (w->requestTime.count() > 0)
            co_await platform::clock().sleep(w->requestTime);
        if (const auto *error = std::get_if<std::exception_ptr>(&answer))
            std::rethrow_exception(*error);
        co_return std::get<OwnerSetupSession>(answer);
    }
};

} // namespace testing
