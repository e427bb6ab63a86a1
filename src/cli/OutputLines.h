#pragma once

#include "cli/JITAuthorizationOutputParser.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace tallowmere {

class InstallLog;

// What a run hands to its caller, in output order: redacted lines and workspace authorisations. The
// lines' characters share one buffer, so that a batch is one allocation, not one per line.
class OutputBatch {
public:
    void addLine(QStringView line);
    void addLatin1Line(QByteArrayView line);
    void addAuthorization(JITWorkspaceAuthorization authorization);
    bool empty() const { return m_entries.empty(); }
    size_t size() const { return m_entries.size(); }

    // Calls `onLine` or `onAuthorization` for each entry, in order.
    template <typename OnLine, typename OnAuthorization>
    void forEach(OnLine onLine, OnAuthorization onAuthorization) const
    {
        for (const Entry &entry : m_entries) {
            if (entry.authorization >= 0)
                onAuthorization(m_authorizations[size_t(entry.authorization)]);
            else
                onLine(QStringView(m_text).mid(entry.offset, entry.length));
        }
    }

private:
    struct Entry {
        qsizetype offset = 0;
        qsizetype length = 0;
        int authorization = -1; // index into m_authorizations, or -1 for a line
    };
    QString m_text;
    std::vector<Entry> m_entries;
    std::vector<JITWorkspaceAuthorization> m_authorizations;
};

// The line kept from the line buffer (UTF-8, invalid sequences replaced, trimmed; possibly empty), or
// nothing when the buffer is empty. The buffer is emptied in every case.
std::optional<QString> takeLine(QByteArray &buffer);

// The trimmed line cut to 240 characters when it looks like an error; nothing otherwise.
std::optional<QString> errorCandidate(const QString &text);

// Turns one run's output bytes into lines and handles each: the authorisation parser sees it first,
// then it is redacted, considered as an error line, logged and handed on.
class OutputLineProcessor {
public:
    static constexpr qsizetype lineBufferLimit = 262144;

    explicit OutputLineProcessor(InstallLog *log)
        : m_log(log)
    {
    }

    void feed(const char *bytes, qsizetype size, OutputBatch &out);
    void finish(OutputBatch &out); // end of output: the last line, if it had no line feed
    const std::optional<QString> &lastErrorCandidate() const { return m_lastErrorCandidate; }

private:
    void handleLine(QByteArrayView bytes, OutputBatch &out);

    InstallLog *m_log;
    QByteArray m_buffer;
    JITAuthorizationOutputParser m_parser;
    std::optional<QString> m_lastErrorCandidate;
};

} // namespace tallowmere
