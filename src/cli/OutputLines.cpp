#include "cli/OutputLines.h"

#include "cli/InstallLog.h"
#include "cli/Redactor.h"
#include "cli/TextCut.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

namespace tallowmere {

namespace {

constexpr qsizetype errorLineLength = 240;

// The error words. Lower-casing the line first could only turn the Kelvin sign or a dotted capital I
// into ASCII letters, and neither helps spell a word, so folding ASCII letters finds exactly what a
// search of the lower-cased line finds. A table of the words' first two characters lets a scan skip
// almost every position without comparing.
class ErrorWords {
public:
    static const ErrorWords &instance()
    {
        static const ErrorWords words;
        return words;
    }

    // Whether a word may start with these two ASCII characters.
    bool mayStartWith(char16_t c, char16_t next) const { return m_wordsStarting[c][next] != 0; }

    // Whether a word starts at `i` of a line (UTF-16, or the bytes of an ASCII line).
    template <typename Char> bool startsAt(const Char *text, qsizetype size, qsizetype i) const
    {
        const char16_t c = unit(text, i);
        if constexpr (std::is_same_v<Char, char16_t>) {
            if (c >= 128)
                return c >= 0x4E00 && chineseWordAt(QStringView(text + i, size - i));
        }
        if (i + 1 >= size || unit(text, i + 1) >= 128)
            return false;
        const std::uint16_t candidates = m_wordsStarting[c][unit(text, i + 1)];
        return candidates && englishWordAt(text, size, i, candidates);
    }

    bool foundIn(QStringView text) const
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (startsAt(text.utf16(), text.size(), i))
                return true;
        }
        return false;
    }

    static constexpr QLatin1String english[] = {QLatin1String("error"),
                                                QLatin1String("failed"),
                                                QLatin1String("failure"),
                                                QLatin1String("fatal"),
                                                QLatin1String("denied"),
                                                QLatin1String("not found"),
                                                QLatin1String("unavailable"),
                                                QLatin1String("invalid"),
                                                QLatin1String("timed out"),
                                                QLatin1String("client_upgrade_required"),
                                                QLatin1String("code_unavailable"),
                                                QLatin1String("exit code")};

private:
    ErrorWords()
    {
        for (size_t index = 0; index < std::size(english); ++index) {
            const QLatin1String word = english[index];
            for (char16_t first : {lower(word[0].unicode()), upper(word[0].unicode())}) {
                for (char16_t second : {lower(word[1].unicode()), upper(word[1].unicode())})
                    m_wordsStarting[first][second] |= std::uint16_t(1u << index);
            }
        }
    }

    static char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }
    static char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

    template <typename Char> static char16_t unit(const Char *text, qsizetype i)
    {
        return char16_t(std::make_unsigned_t<Char>(text[i]));
    }

    template <typename Char>
    static bool englishWordAt(const Char *text, qsizetype size, qsizetype i, std::uint16_t candidates)
    {
        for (unsigned rest = candidates; rest; rest &= rest - 1) {
            const QLatin1String word = english[std::countr_zero(rest)];
            if (i + word.size() > size)
                continue;
            qsizetype k = 2;
            while (k < word.size() && lower(unit(text, i + k)) == word[k].unicode())
                ++k;
            if (k == word.size())
                return true;
        }
        return false;
    }

    static bool chineseWordAt(QStringView text)
    {
        for (QStringView word : {u"失败", u"无法", u"未完成", u"不完整", u"不可用", u"无效", u"超时"}) {
            if (text.startsWith(word))
                return true;
        }
        return false;
    }

    std::uint16_t m_wordsStarting[128][128] = {}; // first two characters -> the words they start
};

// What one pass over a line finds: the redaction rules it may need and whether it names an error.
struct LineFacts {
    RedactionTriggers triggers;
    bool mentionsError = false;
};

// One byte per pair of ASCII characters: bit 7 when the first is a redaction trigger, bit 0 when the
// pair may start an error word. Most pairs are 0, so a scan rarely branches.
const std::uint8_t *pairKinds()
{
    static const auto table = [] {
        const ErrorWords &words = ErrorWords::instance();
        auto kinds = std::make_unique<std::uint8_t[]>(128 * 128);
        for (char16_t c = 0; c < 128; ++c) {
            for (char16_t next = 0; next < 128; ++next) {
                kinds[c * 128 + next] = std::uint8_t((isRedactionTrigger(c) ? 0x80 : 0) |
                                                     (words.mayStartWith(c, next) ? 0x01 : 0));
            }
        }
        return kinds;
    }();
    return table.get();
}

// One pass over the bytes of an ASCII line: the common case, without the checks for other characters.
LineFacts scanAscii(const char *text, qsizetype size)
{
    const ErrorWords &words = ErrorWords::instance();
    const std::uint8_t *pairs = pairKinds();
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    LineFacts facts;
    const auto note = [&](qsizetype i, std::uint8_t kind) {
        if (kind & 0x80)
            noteRedactionTrigger(text, size, i, facts.triggers);
        else if (!facts.mentionsError)
            facts.mentionsError = words.startsAt(text, size, i);
    };
    for (qsizetype i = 0; i + 1 < size; ++i) {
        if (const std::uint8_t kind = pairs[p[i] * 128 + p[i + 1]])
            note(i, kind);
    }
    if (size > 0) {
        if (const std::uint8_t kind = pairs[p[size - 1] * 128])
            note(size - 1, kind);
    }
    return facts;
}

// One pass over a line.
template <typename Char> LineFacts scan(const Char *p, qsizetype size)
{
    const ErrorWords &words = ErrorWords::instance();
    const std::uint8_t *pairs = pairKinds();
    LineFacts facts;
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = char16_t(std::make_unsigned_t<Char>(p[i]));
        if (c >= 128) {
            if (c >= 0x4E00 && !facts.mentionsError)
                facts.mentionsError = words.startsAt(p, size, i);
            continue;
        }
        const auto next = i + 1 < size ? char16_t(std::make_unsigned_t<Char>(p[i + 1])) : char16_t(0);
        const std::uint8_t kind = pairs[c * 128 + (next < 128 ? next : 0)];
        if (!kind)
            continue;
        if (kind & 0x80)
            noteRedactionTrigger(p, size, i, facts.triggers);
        else if (!facts.mentionsError)
            facts.mentionsError = words.startsAt(p, size, i);
    }
    return facts;
}

std::optional<QString> candidateOf(const QString &trimmedLine, bool mentionsError)
{
    if (!mentionsError || trimmedLine.isEmpty() || trimmedLine.startsWith(QLatin1Char('{')))
        return std::nullopt;
    return leadingCharacters(trimmedLine, errorLineLength);
}

bool isAscii(QByteArrayView bytes)
{
    const char *p = bytes.data();
    qsizetype left = bytes.size();
    for (; left >= 8; p += 8, left -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ull)
            return false;
    }
    for (; left > 0; ++p, --left) {
        if (*p & 0x80)
            return false;
    }
    return true;
}

// Decodes UTF-8, replacing each maximal ill-formed subpart by one U+FFFD, so that a character cut
// short shows as one replacement character rather than one per byte. `exact` tells whether the
// bytes were valid, so that the text's UTF-8 form is the bytes themselves.
QString decodeUtf8(QByteArrayView bytes, bool *exact)
{
    *exact = true;
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    // Valid text, unless the result holds a replacement character: then the input was invalid, or
    // held a real replacement character, which the careful decoder below tells apart.
    QString text = QString::fromUtf8(bytes);
    if (!text.contains(QChar(QChar::ReplacementCharacter)))
        return text;

    text.clear();
    text.reserve(bytes.size());
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            text += QChar(lead);
            ++i;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80, high = 0xBF; // range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        if (length == 0) {
            text += QChar(QChar::ReplacementCharacter);
            *exact = false;
            ++i;
            continue;
        }
        char32_t codePoint = lead & (0xFF >> (length + 1));
        int taken = 1;
        for (; taken < length && i + taken < size; ++taken) {
            const unsigned char next = p[i + taken];
            if (next < (taken == 1 ? low : 0x80) || next > (taken == 1 ? high : 0xBF))
                break;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (taken == length) {
            text += QStringView(QChar::fromUcs4(codePoint));
        } else {
            text += QChar(QChar::ReplacementCharacter);
            *exact = false;
        }
        i += taken;
    }
    return text;
}

// An ASCII line without the blanks at its ends (the white space of ASCII: tab to carriage return
// and the blank).
QByteArrayView trimmedAscii(QByteArrayView bytes)
{
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && blank(bytes[begin]))
        ++begin;
    while (end > begin && blank(bytes[end - 1]))
        --end;
    return bytes.sliced(begin, end - begin);
}

// The line of a non-empty buffer, decoded and trimmed, and what is known of it.
struct Line {
    QString text;
    bool sameAsBytes = false; // its UTF-8 form is exactly the buffer's bytes
};

Line lineOf(QByteArrayView bytes)
{
    Line line;
    bool exact = false;
    const QString decoded = decodeUtf8(bytes, &exact);
    line.text = decoded.trimmed();
    line.sameAsBytes = exact && line.text.size() == decoded.size();
    return line;
}

} // namespace

void OutputBatch::addLine(QStringView line)
{
    if (m_text.isNull())
        m_text.reserve(32 * 1024);
    m_entries.push_back({m_text.size(), line.size()});
    m_text.append(line);
}

void OutputBatch::addAuthorization(JITWorkspaceAuthorization authorization)
{
    m_entries.push_back({0, 0, int(m_authorizations.size())});
    m_authorizations.push_back(std::move(authorization));
}

std::optional<QString> takeLine(QByteArray &buffer)
{
    if (buffer.isEmpty())
        return std::nullopt;
    Line line = lineOf(buffer);
    buffer.resize(0); // keeps its capacity for the next line
    return std::move(line.text);
}

std::optional<QString> errorCandidate(const QString &text)
{
    const QString trimmed = text.trimmed();
    return candidateOf(trimmed, ErrorWords::instance().foundIn(trimmed));
}

void OutputBatch::addLatin1Line(QByteArrayView line)
{
    if (m_text.isNull())
        m_text.reserve(32 * 1024);
    m_entries.push_back({m_text.size(), line.size()});
    m_text.append(QLatin1String(line));
}

void OutputLineProcessor::feed(const char *bytes, qsizetype size, OutputBatch &out)
{
    const char *end = bytes + size;
    while (bytes < end) {
        const char *newline = static_cast<const char *>(std::memchr(bytes, '\n', size_t(end - bytes)));
        const char *stop = newline ? newline : end;
        // Bytes past the limit are dropped up to the line feed: an endless line cannot eat memory.
        const qsizetype kept = std::min<qsizetype>(lineBufferLimit - m_buffer.size(), stop - bytes);
        if (newline && m_buffer.isEmpty()) {
            handleLine(QByteArrayView(bytes, kept), out); // a whole line in this chunk: no copy
        } else {
            m_buffer.append(bytes, kept);
            if (newline) {
                handleLine(m_buffer, out);
                m_buffer.resize(0); // keeps its capacity for the next line
            }
        }
        if (!newline)
            break;
        bytes = newline + 1;
    }
}

void OutputLineProcessor::finish(OutputBatch &out)
{
    handleLine(m_buffer, out);
    m_buffer.resize(0);
}

void OutputLineProcessor::handleLine(QByteArrayView bytes, OutputBatch &out)
{
    if (bytes.isEmpty()) // no line, as opposed to a line of blanks
        return;
    // Most output is ASCII text that no rule touches: it passes as the bytes it came in.
    if (isAscii(bytes)) {
        const QByteArrayView text = trimmedAscii(bytes);
        if (!JITAuthorizationOutputParser::mayConsume(QLatin1StringView(text))) {
            const LineFacts facts = scanAscii(text.data(), text.size());
            if (!facts.triggers.any() && !facts.mentionsError) {
                if (m_log)
                    m_log->writeLine(text);
                out.addLatin1Line(text);
                return;
            }
        }
    }
    const Line line = lineOf(bytes);
    if (auto authorization = m_parser.consume(line.text)) {
        // Sign-in data goes to the caller only: never redacted, logged or shown.
        out.addAuthorization(std::move(*authorization));
        return;
    }
    // One pass finds what redaction needs and whether the line names an error; a line that
    // redaction changes is judged again as it will be shown.
    const LineFacts facts = scan(QStringView(line.text).utf16(), line.text.size());
    const QString redacted = sanitize(line.text, facts.triggers);
    const bool unchanged = redacted.isSharedWith(line.text);
    if (auto candidate = unchanged ? candidateOf(line.text, facts.mentionsError) : errorCandidate(redacted))
        m_lastErrorCandidate = std::move(candidate);
    if (m_log) {
        // A line that redaction left alone is logged as the bytes it came in, without encoding it again.
        if (line.sameAsBytes && unchanged)
            m_log->writeLine(bytes);
        else
            m_log->writeLine(redacted.toUtf8());
    }
    out.addLine(redacted);
}

} // namespace tallowmere
