#pragma once

#include "cli/Errors.h"
#include "platform/Clock.h"
#include "platform/Home.h"

#include <QCoro/QCoroTask>
#include <QTemporaryDir>
#include <QTest>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace testing {

// Registers a test class with the area's test executable; its main runs every registered class (or the
// one named first), inside the application object it made or, if none, a QCoreApplication.
using TestFactory = std::function<std::unique_ptr<QObject>()>;
int registerTest(const char *name, TestFactory factory);
#define TALLOWMERE_TEST(Class)                                                                               \
    static const int registered_##Class =                                                                    \
        testing::registerTest(#Class, [] { return std::make_unique<Class>(); });
int runRegisteredTests(int argc, char *argv[]);

class ScratchHome {
public:
    ScratchHome() { platform::setHomeDirectoryOverride(m_dir.path()); }
    ~ScratchHome() { platform::setHomeDirectoryOverride({}); }
    QString path() const { return m_dir.path(); }
    QString profileDirectory() const; // the agent's default profile directory inside it, created

private:
    QTemporaryDir m_dir;
};

class VirtualTime {
public:
    platform::VirtualClock &clock() { return m_clock; }
    void advance(std::chrono::milliseconds step) { m_clock.advance(step); }

private:
    platform::VirtualClock m_clock;
    platform::ScopedClock m_scope{m_clock};
};

// Data rows from a table of structs, each row named by its `name` member: addRows(table) in the _data
// function, currentRow(table) in the test function.
template <typename Row, std::size_t N> void addRows(const Row (&table)[N])
{
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < N; ++i)
        QTest::newRow(table[i].name) << int(i);
}
template <typename Row, std::size_t N> const Row &currentRow(const Row (&table)[N])
{
    return table[*static_cast<int *>(QTest::qData("row", qMetaTypeId<int>()))];
}

// Table cells are UTF-8 literals; nullptr stands for an absent value.
inline QString utf8(const char *text) { return QString::fromUtf8(text); }
inline std::optional<QString> optionalText(const char *text) { return text ? std::optional(utf8(text)) : std::nullopt; }

void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);
int posixMode(const QString &path);          // permission bits, e.g. 0600
QString sourcePath(const QString &relative); // a file of the source tree

bool spinUntil(const std::function<bool()> &done,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

class Running {
public:
    explicit Running(QCoro::Task<> task) { watch(std::move(task), m_state); }
    bool done() const { return m_state->done; }
    void rethrow() const
    {
        if (m_state->error)
            std::rethrow_exception(m_state->error);
    }

private:
    struct State {
        bool done = false;
        std::exception_ptr error;
    };
    static QCoro::Task<> watch(QCoro::Task<> task, std::shared_ptr<State> state)
    {
        try {
            co_await std::move(task);
        } catch (...) {
            state->error = std::current_exception();
        }
        state->done = true;
    }
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

template <typename T> QCoro::Task<> keepResult(QCoro::Task<T> task, std::shared_ptr<std::optional<T>> result)
{
    result->emplace(co_await std::move(task));
}

template <typename T>
T await(QCoro::Task<T> task, std::chrono::milliseconds timeout = std::chrono::seconds(60))
{
    if constexpr (std::is_void_v<T>) {
        const Running running(std::move(task));
        if (!spinUntil([&] { return running.done(); }, timeout))
            throw std::runtime_error("task did not finish in time");
        running.rethrow();
    } else {
        const auto result = std::make_shared<std::optional<T>>();
        await(keepResult(std::move(task), result), timeout);
        return std::move(**result);
    }
}

// How a task ended: `shown` of its result, or its error: "CODE message" for a TallowmereNativeError, and
// "file", "transport" or "decoding" for the errors passed through.
template <typename T, typename Shown> QString ending(QCoro::Task<T> task, Shown shown)
{
    try {
        return shown(await(std::move(task)));
    } catch (const tallowmere::TallowmereNativeError &error) {
        return error.code() + QLatin1Char(' ') + error.message();
    } catch (const tallowmere::FileError &) {
        return QStringLiteral("file");
    } catch (const tallowmere::TransportError &) {
        return QStringLiteral("transport");
    } catch (const tallowmere::DecodingError &) {
        return QStringLiteral("decoding");
    }
}

} // namespace testing
