// The agent's version order on three lines and their variants (other build metadata, zeros before numbers):
// "newer" is a strict weak order (irreflexive, transitive, and so is ranking the same) where a release
// outranks its prereleases; a sanitized version is trimmed and stable; a refused plain line ranks neither
// way.
#include "FuzzInput.h"

#include "status/AgentVersion.h"

#include <QRegularExpression>

using namespace fuzzing;
using namespace tallowmere;

// A zero before each number of the core and each numeric prerelease identifier that fits 64 bits.
static QString padded(const QString &version)
{
    static const QRegularExpression number(QStringLiteral("(?<=^|[.\\n])(\\d{1,18})(?=[.\\n]|$)"));
    QString text = version.section(u'+', 0, 0);
    const qsizetype dash = text.indexOf(u'-'), end = text.size();
    if (dash >= 0)
        text[dash] = u'\n'; // the core's end, where the prerelease's first identifier begins
    return text.replace(number, QStringLiteral("0\\1")).replace(u'\n', u'-') + version.sliced(end);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    static const QRegularExpression plain(QStringLiteral("\\A[0-9A-Za-z.+-]{1,64}\\z"));
    QStringList versions, refused;
    for (const QString &line : utf8(data, size).split(u'\n').mid(0, 3)) {
        const std::optional<QString> sanitized = AgentVersion::sanitized(line);
        require(!sanitized ||
                    (sanitized == line.trimmed() && AgentVersion::sanitized(sanitized) == sanitized),
                "sanitized: trimmed, stable", line);
        if (!sanitized && plain.match(line).hasMatch())
            refused << line;
        const QString version = sanitized.value_or(QString());
        for (const QString &variant :
             {version, padded(version), version.section(u'+', 0, 0) + QStringLiteral("+build.7")})
            if (AgentVersion::sanitized(variant) == variant)
                versions << variant;
    }
    const qsizetype n = versions.size();
    QList<bool> newer(n * n);
    for (qsizetype i = 0; i < n * n; ++i)
        newer[i] = AgentVersion::isNewer(versions[i / n], versions[i % n]);
    const auto same = [&](qsizetype a, qsizetype b) { return !newer[a * n + b] && !newer[b * n + a]; };
    for (qsizetype a = 0; a < n; ++a) {
        const QString core = versions[a].section(u'+', 0, 0);
        require(!newer[a * n + a] && (core.contains(u'-') ||
                                      AgentVersion::isNewer(versions[a], core + QStringLiteral("-rc.1"))),
                "irreflexive, a release above its prereleases", versions[a]);
        for (const QString &line : refused)
            require(!AgentVersion::isNewer(line, versions[a]) && !AgentVersion::isNewer(versions[a], line),
                    "a refused line ranks neither way", line);
        for (qsizetype b = 0; b < n; ++b)
            for (qsizetype c = 0; c < n; ++c)
                require((!newer[a * n + b] || !newer[b * n + c] || newer[a * n + c]) &&
                            (!same(a, b) || !same(b, c) || same(a, c)),
                        "transitive", versions[a] + u' ' + versions[b] + u' ' + versions[c]);
    }
    return 0;
}
