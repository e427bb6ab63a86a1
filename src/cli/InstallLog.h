#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace tallowmere {

// The rotating install log that every child process run appends to. Logging never decides a run's
// outcome: every failure to rotate, create, open, write or close the log is ignored.
class InstallLog {
public:
    static constexpr qint64 rotationSize = 2 * 1024 * 1024;

    // Prepares the log (directory, rotation past 2 MiB to "<name>.previous", a new file with
    // permissions 0600) and opens it for appending; nothing when it cannot be opened.
    static std::unique_ptr<InstallLog> open(const QString &path);
    ~InstallLog();
    InstallLog(const InstallLog &) = delete;
    InstallLog &operator=(const InstallLog &) = delete;

    void writeLine(QByteArrayView utf8); // appends the text and a line feed
    void flush();

private:
    explicit InstallLog(int fd)
        : m_fd(fd)
    {
    }
    int m_fd;
    std::vector<char> m_pending;
};

} // namespace tallowmere
