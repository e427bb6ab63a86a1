#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace testing {

// The runner's redaction rules as regular expressions, with \s and \w spelled out the way the runner
// defines them: the slow, obvious version that the fast scanners are checked against.
inline QString referenceSanitize(QString text)
{
    static const QString space = QStringLiteral("[\\t\\n\\x0B\\f\\r\\x{85}\\p{Z}]");
    static const QString word = QStringLiteral("[\\p{L}\\p{Nl}\\p{M}\\p{Nd}\\p{Pc}\\x{200C}\\x{200D}]");
    static const QString code = QStringLiteral("[0-9A-HJKMNP-TV-Z]{4}");
    static const QList<std::pair<QRegularExpression, QString>> rules = {
        {QRegularExpression(QStringLiteral("\\x1b\\[[0-?]*[ -/]*[@-~]")), QString()},
        {QRegularExpression(QStringLiteral("(?i)(Email:%1*)(?:(?!%1).)+").arg(space)),
         QStringLiteral("\\1[REDACTED]")},
        {QRegularExpression(QStringLiteral("(?i)(Password:%1*)(?:(?!%1).)+").arg(space)),
         QStringLiteral("\\1[REDACTED]")},
        {QRegularExpression(QStringLiteral("https?://(?:(?!%1).)+").arg(space)),
         QStringLiteral("[URL REDACTED]")},
        {QRegularExpression(QStringLiteral("(?i)(?<!%1)(?:TMS2|TMI1)-%2-%2-%2(?!%1)").arg(word, code)),
         QStringLiteral("[SETUP CODE REDACTED]")},
    };
    for (const auto &[pattern, replacement] : rules)
        text.replace(pattern, replacement);
    return text;
}

// Whether a line counts as an error line: the obvious search of the lower-cased, trimmed line.
inline bool referenceMentionsError(const QString &line)
{
    static const QStringList words = {QStringLiteral("error"),
                                      QStringLiteral("failed"),
                                      QStringLiteral("failure"),
                                      QStringLiteral("fatal"),
                                      QStringLiteral("denied"),
                                      QStringLiteral("not found"),
                                      QStringLiteral("unavailable"),
                                      QStringLiteral("invalid"),
                                      QStringLiteral("timed out"),
                                      QStringLiteral("client_upgrade_required"),
                                      QStringLiteral("code_unavailable"),
                                      QStringLiteral("exit code"),
                                      QStringLiteral("失败"),
                                      QStringLiteral("无法"),
                                      QStringLiteral("未完成"),
                                      QStringLiteral("不完整"),
                                      QStringLiteral("不可用"),
                                      QStringLiteral("无效"),
                                      QStringLiteral("超时")};
    const QString text = line.trimmed();
    if (text.isEmpty() || text.startsWith(QLatin1Char('{')))
        return false;
    const QString lower = text.toLower();
    for (const QString &word : words) {
        if (lower.contains(word))
            return true;
    }
    return false;
}

} // namespace testing
