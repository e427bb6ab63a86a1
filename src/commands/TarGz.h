#pragma once

#include <QByteArray>
#include <QString>

namespace tallowmere::commands {

// A gzip-compressed tar archive of regular files, built in memory (owner-readable files, mode 0600).
class TarGz {
public:
    void add(const QString &name, const QByteArray &content);
    // The compressed archive; empty when compression failed.
    QByteArray finish();

private:
    QByteArray m_tar;
};

} // namespace tallowmere::commands
