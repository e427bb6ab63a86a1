#include "cli/InstallLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace tallowmere {

namespace {
constexpr qsizetype flushThreshold = 64 * 1024;
}

std::unique_ptr<InstallLog> InstallLog::open(const QString &path)
{
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    if (info.exists() && info.size() > rotationSize) {
        const QString previous = path + QStringLiteral(".previous");
        QFile::remove(previous);
        QFile::rename(path, previous);
    }
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<InstallLog>(new InstallLog(fd));
}

InstallLog::~InstallLog()
{
    flush();
    ::close(m_fd);
}

void InstallLog::writeLine(QByteArrayView utf8)
{
    const size_t start = m_pending.size();
    m_pending.resize(start + size_t(utf8.size()) + 1);
    std::memcpy(m_pending.data() + start, utf8.data(), size_t(utf8.size()));
    m_pending.back() = '\n';
    if (m_pending.size() >= size_t(flushThreshold))
        flush();
}

void InstallLog::flush()
{
    const char *data = m_pending.data();
    size_t left = m_pending.size();
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break; // a full disk loses log lines, never the run
        data += written;
        left -= size_t(written);
    }
    m_pending.clear(); // keeps its capacity
}

} // namespace tallowmere
