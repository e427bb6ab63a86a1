#pragma once

#ifndef Q_MOC_RUN // moc cannot read the standard library's concepts
#include <coroutine>
#endif
#include <utility>

namespace platform {

// A point a coroutine waits at (`co_await wakeup.wait()`) until something fires it; it fires at most
// once, so the first of several wake-up sources wins. Firing resumes the waiting coroutine at once,
// on the firing thread. The awaiter holds a pointer: QCoro copies awaitables it is handed.
class Wakeup {
public:
    Wakeup() = default;
    Wakeup(const Wakeup &) = delete;
    Wakeup &operator=(const Wakeup &) = delete;

    struct Awaiter {
        Wakeup *wakeup;
        bool await_ready() const noexcept { return wakeup->m_fired; }
        void await_suspend(std::coroutine_handle<> handle) const noexcept { wakeup->m_handle = handle; }
        void await_resume() const noexcept {}
    };
    Awaiter wait() { return Awaiter{this}; }

    bool fired() const { return m_fired; }
    void fire()
    {
        if (m_fired)
            return;
        m_fired = true;
        if (auto handle = std::exchange(m_handle, {}))
            handle.resume();
    }

private:
    std::coroutine_handle<> m_handle;
    bool m_fired = false;
};

} // namespace platform
