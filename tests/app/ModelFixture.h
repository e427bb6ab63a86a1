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
    void write(const QString &name, const QByteArray &bytes) const { writeFile(file(name), bytes); }
    void configure() const { write(QStringLiteral("config.json"), "{}"); }
    // A state file of the profile; writing nullptr writes nothing.
    void write(const char *name, const char *bytes) const
    {
        if (bytes)
            write(QLatin1String(name), QByteArray(bytes));
    }
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

// The marker of verified kinds (or, with `manual`, of kinds confirmed by hand) for these letters: one
// raw value per line in kind order; the verified marker holds a lone line feed for none.
inline QByteArray permissionMarker(const QString &letters, bool manual = false)
{
    QByteArray marker;
    for (int i = 0; i < letters.size(); ++i) {
        if (manual ? letters.at(i) == u'M' : letters.at(i).isUpper())
            marker += rawValue(tallowmere::PermissionKind(i)).toUtf8() + '\n';
    }
    return marker.isEmpty() && !manual ? QByteArray("\n") : marker;
}

} // namespace testing
