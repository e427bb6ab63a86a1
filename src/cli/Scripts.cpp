#include "cli/Scripts.h"

#include <QFile>
#include <QRegularExpression>

#include <stdexcept>

namespace tallowmere {

ScriptTools ScriptTools::inDirectory(const QString &directory)
{
    const auto tool = [&directory](const char *name) {
        return directory + QLatin1Char('/') + QLatin1String(name);
    };
    return {tool("launchctl"), tool("plutil"), tool("mktemp"), tool("base64"), tool("osascript"), tool("mv")};
}

namespace scripts {

namespace {

QString templateText(const QString &name)
{
    QFile file(QStringLiteral(":/scripts/") + name);
    if (!file.open(QIODevice::ReadOnly))
        throw std::logic_error("missing script template " + name.toStdString());
    return QString::fromUtf8(file.readAll());
}

void substitute(QString &text, const QString &name, const QString &value)
{
    static const QRegularExpression unsafe(QStringLiteral("[\"$`\\\\\\n]"));
    if (value.contains(unsafe))
        throw std::invalid_argument("unsafe script value for " + name.toStdString());
    text.replace(QLatin1Char('@') + name + QLatin1Char('@'), value);
}

} // namespace

QString render(const QString &templateName, const ScriptTools &tools,
               const std::vector<std::pair<QString, QString>> &values)
{
    QString text = templateText(templateName);
    for (const auto &[name, value] : values)
        substitute(text, name, value);
    substitute(text, QStringLiteral("LAUNCHCTL"), tools.launchctl);
    substitute(text, QStringLiteral("PLUTIL"), tools.plutil);
    substitute(text, QStringLiteral("MKTEMP"), tools.mktemp);
    substitute(text, QStringLiteral("BASE64"), tools.base64);
    substitute(text, QStringLiteral("OSASCRIPT"), tools.osascript);
    substitute(text, QStringLiteral("MV"), tools.mv);
    return text;
}

QString daemonInstall(const ScriptTools &tools, int attempts)
{
    return render(QStringLiteral("daemon-install.sh"), tools,
                  {{QStringLiteral("ATTEMPTS"), QString::number(attempts)}});
}

QString agentUpdate(const ScriptTools &tools)
{
    return render(QStringLiteral("agent-update.sh"), tools);
}

QString permissionProbe(const ScriptTools &tools, const QString &probeName, int attempts)
{
    const QString program = render(QStringLiteral("permission-probe.js"), tools);
    return render(QStringLiteral("permission-probe.sh"), tools,
                  {{QStringLiteral("PROBE_PROGRAM_BASE64"), QString::fromLatin1(program.toUtf8().toBase64())},
                   {QStringLiteral("PROBE_NAME"), probeName},
                   {QStringLiteral("ATTEMPTS"), QString::number(attempts)}});
}

QString accessibilityProbe(const ScriptTools &tools, int attempts, bool requestPrompt)
{
    return render(
        QStringLiteral("accessibility-probe.sh"), tools,
        {{QStringLiteral("ATTEMPTS"), QString::number(attempts)},
         {QStringLiteral("PROMPT"), requestPrompt ? QStringLiteral("true") : QStringLiteral("false")}});
}

} // namespace scripts
} // namespace tallowmere
