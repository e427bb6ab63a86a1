#pragma once

// What the fuzz targets share: the input as text, and a broken invariant reported as a finding.

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzzing {

// A folder for the files a target rewrites on every run: in memory where there is such a folder.
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

// Ends the run as a finding (libFuzzer keeps the input) unless the invariant holds. The detail shows
// printable ASCII as it is and everything else percent-encoded.
inline void require(bool holds, const char *invariant, QStringView detail = {})
{
    if (holds)
        return;
    std::fprintf(stderr, "broken invariant: %s\n  %s\n", invariant,
                 QUrl::toPercentEncoding(detail.toString(), " !\"#$&'()*+,-./:;<=>?@[\\]^_`{|}~").constData());
    std::abort();
}

} // namespace fuzzing
