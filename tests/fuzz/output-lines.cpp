// The runner's output handling, fed in chunks of sizes the input's last four bytes pick: what it hands on,
// keeps as the last error line and logs is what each line on its own gives, decoded as ICU decodes UTF-8,
// trimmed, shown to the authorisation parser, redacted, judged and logged; the shortcuts change nothing.
#include "FuzzInput.h"

#include "cli/InstallLog.h"
#include "cli/OutputLines.h"
#include "cli/Redactor.h"

#include <QFile>

#include <fuzzer/FuzzedDataProvider.h>

#include <unicode/ustring.h>

using namespace fuzzing;
using namespace tallowmere;
using namespace Qt::StringLiterals;

namespace {

// Lines and authorisations one per line, the last error line, the log.
struct Handled {
    QString entries;
    std::optional<QString> lastErrorCandidate;
    QByteArray log;
};

QString entry(const JITWorkspaceAuthorization &a)
{
    return u"<authorisation "_s + a.provider + u' ' + a.email + u' ' + a.password + u' ' + a.authURL.toString() +
           u">\n"_s;
}

QString icuDecoded(QByteArrayView bytes)
{
    std::vector<UChar> units(size_t(bytes.size()) + 1);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(units.data(), int32_t(units.size()), &length, bytes.data(), int32_t(bytes.size()), 0xFFFD,
                         nullptr, &status);
    require(U_SUCCESS(status), "ICU decodes the line");
    return QString(reinterpret_cast<const QChar *>(units.data()), length); // not fromUtf16, which reads a BOM
}

// Each line on its own, as the rules of the runner say.
Handled reference(QByteArrayView output)
{
    Handled handled;
    JITAuthorizationOutputParser parser;
    for (QByteArrayView rest = output; !rest.isEmpty();) {
        const qsizetype newline = rest.indexOf('\n');
        QByteArray bytes = rest.first(newline < 0 ? rest.size() : newline).toByteArray();
        rest = newline < 0 ? QByteArrayView() : rest.sliced(newline + 1);
        if (bytes.isEmpty())
            continue;
        const QString expectedText = icuDecoded(bytes).trimmed();
        const std::optional<QString> line = takeLine(bytes);
        require(line == expectedText, "a line is decoded as ICU decodes it, then trimmed", expectedText);
        if (const auto authorization = parser.consume(*line)) {
            handled.entries += entry(*authorization);
            continue;
        }
        const QString redacted = sanitize(*line);
        if (auto candidate = errorCandidate(redacted))
            handled.lastErrorCandidate = candidate;
        handled.log += redacted.toUtf8() + '\n';
        handled.entries += redacted + u'\n';
    }
    return handled;
}

Handled processed(QByteArrayView output, std::uint32_t chunking, const QString &logPath)
{
    Handled handled;
    {
        const std::unique_ptr<InstallLog> log = InstallLog::open(logPath);
        require(log != nullptr, "the harness opens the log");
        OutputLineProcessor processor(log.get());
        OutputBatch batch;
        for (qsizetype at = 0; at < output.size();) {
            chunking = chunking * 1103515245u + 12345u;
            const qsizetype chunk = std::min<qsizetype>(1 + (chunking >> 16) % 64, output.size() - at);
            processor.feed(output.data() + at, chunk, batch);
            at += chunk;
        }
        processor.finish(batch);
        batch.forEach([&handled](QStringView line) { handled.entries += line.toString() + u'\n'; },
                      [&handled](const JITWorkspaceAuthorization &a) { handled.entries += entry(a); });
        handled.lastErrorCandidate = processor.lastErrorCandidate();
    }
    QFile file(logPath);
    require(file.open(QIODevice::ReadOnly), "the harness reads the log");
    handled.log = file.readAll();
    file.remove();
    return handled;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const auto chunking = in.ConsumeIntegral<std::uint32_t>(); // from the end of the input
    const std::string output = in.ConsumeRemainingBytesAsString();
    const QByteArrayView bytes(output.data(), qsizetype(output.size()));

    const Handled expected = reference(bytes);
    const Handled actual = processed(bytes, chunking, scratchDirectory() + QStringLiteral("/install.log"));
    require(actual.entries == expected.entries, "lines and authorisations are handed on as each line gives them",
            actual.entries + QStringLiteral("--- expected\n") + expected.entries);
    require(actual.lastErrorCandidate == expected.lastErrorCandidate,
            "the last error line is the last redacted line that names an error",
            actual.lastErrorCandidate.value_or(QStringLiteral("<none>")) + QStringLiteral(" / ") +
                expected.lastErrorCandidate.value_or(QStringLiteral("<none>")));
    require(actual.log == expected.log, "the log holds each redacted line, and nothing else",
            QString::fromUtf8(actual.log));
    return 0;
}
