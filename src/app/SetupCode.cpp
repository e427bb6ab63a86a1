#include "app/SetupCode.h"

#include "app/AppModel.h"

#include <QRegularExpression>

#include <string_view>

namespace tallowmere {

namespace {

constexpr QLatin1String ordinaryPrefix("TMS2");
constexpr QLatin1String workspacePrefix("TMI1");
constexpr QLatin1String workspaceCodeStart("TMI1-");

// Digits and upper-case letters without I, L, O and U.
bool inSetupCodeAlphabet(QChar c)
{
    static constexpr std::string_view alphabet = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
    return c.unicode() < 128 && alphabet.find(char(c.unicode())) != std::string_view::npos;
}

QString grouped(QStringView characters)
{
    QString text;
    for (qsizetype i = 0; i < characters.size(); i += 4) {
        if (i > 0)
            text += QLatin1Char('-');
        text += characters.mid(i, 4);
    }
    return text;
}

} // namespace

QString formattedTallowmereSetupCodeInput(const QString &text)
{
    QString kept;
    for (QChar c : text.toUpper()) {
        if (kept.size() == 16)
            break;
        if (inSetupCodeAlphabet(c) || c == QLatin1Char('I'))
            kept += c;
    }
    return grouped(kept);
}

std::optional<QString> canonicalTallowmereSetupCode(const QString &text)
{
    QString compact;
    for (QChar c : text.toUpper()) {
        if (c != QLatin1Char('-') && !c.isSpace())
            compact += c;
    }
    if (compact.size() != 16 || !(compact.startsWith(ordinaryPrefix) || compact.startsWith(workspacePrefix)))
        return std::nullopt;
    for (qsizetype i = 4; i < compact.size(); ++i) {
        if (!inSetupCodeAlphabet(compact.at(i)))
            return std::nullopt;
    }
    return grouped(compact);
}

QString AppModel::normalizedSetupCode() const
{
    if (auto canonical = canonicalTallowmereSetupCode(m_setupCode))
        return *canonical;
    return m_setupCode.trimmed().toUpper();
}

std::optional<QString> AppModel::setupCodeValidationMessage() const
{
    const QString code = normalizedSetupCode();
    if (code.isEmpty() || canonicalTallowmereSetupCode(code))
        return std::nullopt;
    return QStringLiteral("请输入 TMS2 或 TMI1 格式的安装码。");
}

std::optional<QString> AppModel::setupAgentNameValidationMessage() const
{
    if (!normalizedSetupCode().startsWith(workspaceCodeStart))
        return std::nullopt;
    static const QRegularExpression pattern(QStringLiteral("^[a-z0-9](?:[a-z0-9-]*[a-z0-9])?$"));
    const QString name = m_setupAgentName.trimmed().toLower();
    if (name.size() < 6 || name.size() > 64 || !pattern.match(name).hasMatch())
        return QStringLiteral("名称需为 6-64 位小写字母、数字或连字符。");
    return std::nullopt;
}

bool AppModel::canSubmitSetup() const
{
    if (m_installStage != InstallStage::setup || m_configurationReady || m_isSubmittingSetup)
        return false;
    const QString code = normalizedSetupCode();
    if (!canonicalTallowmereSetupCode(code))
        return false;
    return !code.startsWith(workspaceCodeStart) || !setupAgentNameValidationMessage();
}

} // namespace tallowmere
