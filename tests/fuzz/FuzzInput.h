#pragma once

// What the fuzz targets share: the input as text, and a broken invariant reported as a finding.

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzzing {

// A folder for the files a target writes and reads on every run: in memory where the system has such a
// folder, since on a disk every replaced file can cost a wait for the disk (ext4 flushes a file
// truncated or renamed over another when it is closed).
inline QString scratchDirectory()
{
    static const QTemporaryDir directory(QDir(QStringLiteral("/dev/shm")).exists()
                                             ? QStringLiteral("/dev/shm/tallowmere-fuzz-XXXXXX")
                                             : QDir::tempPath() + QStringLiteral("/tallowmere-fuzz-XXXXXX"));
    return directory.path();
}

inline QString utf8(const std::uint8_t *data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Printable ASCII as it is, everything else as \uXXXX, so that a report shows what the text held.
inline QByteArray shown(QStringView text)
{
    QByteArray out;
    for (QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F)
            out += char(c.unicode());
        else
            out += "\\u" + QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
    }
    return out;
}

// Ends the run as a finding: libFuzzer keeps the input that broke the invariant.
[[noreturn]] inline void fail(const char *invariant, QStringView detail = {})
{
    std::fprintf(stderr, "broken invariant: %s\n  %s\n", invariant, shown(detail).constData());
    std::abort();
}

inline void require(bool holds, const char *invariant, QStringView detail = {})
{
    if (!holds)
        fail(invariant, detail);
}

} // namespace fuzzing
