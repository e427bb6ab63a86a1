#pragma once

#include "app/AppModel.h"
#include "support/TestSupport.h"

#include <memory>

namespace testing {

// A model over a scratch profile directory, built with the given operations and without auto-resume.
struct ModelFixture {
    ScratchHome home;
    QString profile = home.profileDirectory();

    QString file(const QString &name) const { return profile + QLatin1Char('/') + name; }
    void write(const QString &name, const QByteArray &bytes) const { writeFile(file(name), bytes); }
    void configure() const { write(QStringLiteral("config.json"), "{}"); }

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

} // namespace testing
