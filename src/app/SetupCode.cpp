#include "app/SetupCode.h"

#include "app/AppModel.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>

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

// The text's user-perceived characters: a letter with a combining mark is one character, and it is
// not a code character.
QStringList charactersOf(const QString &text)
{
    QStringList characters;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype start = 0, end = finder.toNextBoundary(); end >= 0;
         start = end, end = finder.toNextBoundary())
        characters << text.mid(start, end - start);
    return characters;
}

bool isCodeCharacter(const QString &character, bool allowI)
{
    return character.size() == 1 &&
           (inSetupCodeAlphabet(character.front()) || (allowI && character.front() == QLatin1Char('I')));
}

// Four characters to a group, groups joined by "-".
QString grouped(const QStringList &characters)
{
    QString text;
    for (qsizetype i = 0; i < characters.size(); ++i) {
        if (i > 0 && i % 4 == 0)
            text += QLatin1Char('-');
        text += characters.at(i);
    }
    return text;
}

} // namespace

QString formattedTallowmereSetupCodeInput(const QString &text)
{
    QStringList kept;
    for (const QString &character : charactersOf(text.toUpper())) {
        if (kept.size() == 16)
            break;
        // "I" is kept too, so that the workspace prefix can be typed.
        if (isCodeCharacter(character, true))
            kept << character;
    }
    return grouped(kept);
}

std::optional<QString> canonicalTallowmereSetupCode(const QString &text)
{
    QStringList characters;
    for (const QString &character : charactersOf(text.toUpper())) {
        if (character != QLatin1String("-") && !character.front().isSpace())
            characters << character;
    }
    if (characters.size() != 16)
        return std::nullopt;
    const QString prefix = characters.mid(0, 4).join(QString());
    if (prefix != ordinaryPrefix && prefix != workspacePrefix)
        return std::nullopt;
    for (qsizetype i = 4; i < characters.size(); ++i) {
        if (!isCodeCharacter(characters.at(i), false))
            return std::nullopt;
    }
    return grouped(characters);
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
