#pragma once

#include "platform/Clock.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace testing {

// Registers a test class with the area's test executable; its main runs every registered class.
using TestFactory = std::function<std::unique_ptr<QObject>()>;
int registerTest(const char *name, TestFactory factory);
#define TALLOWMERE_TEST(Class)                                                                               \
    static const int registered_##Class =                                                                    \
        testing::registerTest(#Class, [] { return std::make_unique<Class>(); });
int runRegisteredTests(int argc, char *argv[]);

// A home directory of the test's own, in place of the real one, for the lifetime of the object.
class ScratchHome {
public:
    ScratchHome();
    ~ScratchHome();
    QString path() const { return m_dir.path(); }
    QString profileDirectory() const; // the agent's default profile directory inside it, created

private:
    QTemporaryDir m_dir;
};

// Virtual time in place of the real clock, for the lifetime of the object.
class VirtualTime {
public:
    VirtualTime()
        : m_scope(m_clock)
    {
    }
    platform::VirtualClock &clock() { return m_clock; }
    void advance(std::chrono::milliseconds step) { m_clock.advance(step); }

private:
    platform::VirtualClock m_clock;
    platform::ScopedClock m_scope;
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
inline QString utf8(const char *text)
{
    return QString::fromUtf8(text);
}
inline std::optional<QString> optionalText(const char *text)
{
    return text ? std::optional(QString::fromUtf8(text)) : std::nullopt;
}

void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);
int posixMode(const QString &path);          // permission bits, e.g. 0600
QString sourcePath(const QString &relative); // a file of the source tree

// Runs the event loop until `done` holds or `timeout` of real time has passed.
bool spinUntil(const std::function<bool()> &done,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

// A task started in the background, to be checked on later.
class Running {
public:
    explicit Running(QCoro::Task<> task) { watch(std::move(task), m_state); }
    bool done() const { return m_state->done; }

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

// Runs a task to its end on the event loop and gives its result (or rethrows its exception).
template <typename T>
T await(QCoro::Task<T> task, std::chrono::milliseconds timeout = std::chrono::seconds(60))
{
    struct State {
        bool done = false;
        std::exception_ptr error;
        std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
    };
    auto state = std::make_shared<State>();
    auto runner = [](QCoro::Task<T> inner, std::shared_ptr<State> s) -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(inner);
                s->value = true;
            } else {
                s->value = co_await std::move(inner);
            }
        } catch (...) {
            s->error = std::current_exception();
        }
        s->done = true;
    };
    runner(std::move(task), state);
    if (!spinUntil([&] { return state->done; }, timeout))
        throw std::runtime_error("task did not finish in time");
    if (state->error)
        std::rethrow_exception(state->error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*state->value);
}

} // namespace testing
