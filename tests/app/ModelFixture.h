#pragma once

#include "app/AppModel.h"
#include "support/TestSupport.h"

#include <QFileInfo>

#include <memory>

namespace testing {

// A model over a scratch profile directory, built with the given operations and without auto-resume.
struct ModelFixture {
    ScratchHome home;
    QString profile = home.profileDirectory();

    QString file(const QString &name) const { return profile + QLatin1Char('/') + name; }
    // A file of the profile; writing nullptr writes nothing.
    void write(const char *name, const char *bytes) const
    {
        if (bytes)
            writeFile(file(QLatin1String(name)), bytes);
    }
    void configure() const { write("config.json", "{}"); }
    QByteArray read(const char *name) const { return readFile(file(QLatin1String(name))); }
    bool exists(const char *name) const { return QFileInfo::exists(file(QLatin1String(name))); }

    std::unique_ptr<tallowmere::AppModel> build(tallowmere::AppModel::Operations operations = {},
                                                std::shared_ptr<tallowmere::CLIService> cli = {},
                                                bool autoResume = false) const
    {
        return std::make_unique<tallowmere::AppModel>(
            tallowmere::AppModel::Dependencies{
                .profileDirectory = profile, .cli = std::move(cli), .operations = std::move(operations)},
            autoResume);
    }
};

// One letter per phase, in phase order: p pending, r running, c complete, f failed.
inline QString progressLetters(const QList<tallowmere::SetupProgressItem> &items)
{
    QString letters;
    for (const tallowmere::SetupProgressItem &item : items)
        letters += QLatin1Char("prcf"[int(item.state)]);
    return letters;
}

// The install state in one line: the stage ("-" for none), one letter per progress phase (p pending,
// r running, c complete, f failed), the overall state and the flags that are set.
inline QString installState(const tallowmere::AppModel &m)
{
    const auto flag = [](bool set, const char *name) { return set ? u' ' + QLatin1String(name) : QString(); };
    return (m.installStage() ? tallowmere::rawValue(*m.installStage()) : QStringLiteral("-")) + u' ' +
           progressLetters(m.setupProgress()) + u' ' + tallowmere::rawValue(m.overallState()) +
           flag(m.configurationReady(), "configured") + flag(m.installationValidated(), "validated") +
           flag(m.pendingSetupResume(), "pending");
}

// One letter per permission, in kind order: u unknown, n not granted, g granted, m manually confirmed;
// upper case when verified.
inline QString permissionLetters(const QList<tallowmere::PermissionItem> &items)
{
    QString letters;
    for (const tallowmere::PermissionItem &item : items) {
        const QChar letter = QLatin1Char("ungm"[int(item.nativeState)]);
        letters += item.verified ? letter.toUpper() : letter;
    }
    return letters;
}

} // namespace testing
