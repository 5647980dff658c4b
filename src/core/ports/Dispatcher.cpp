// The synchronous hand-off queue shared by the window program's event loop and the plain loops of tests and
// tools.
#include "ports/Dispatcher.h"

#include <exception>

namespace quimbrel {

struct Dispatcher::Task {
    std::function<void()> fn;
    std::exception_ptr error;
    bool done = false;
    bool posted = false; // owned by the queue: deleted once run
    std::condition_variable finished;
};

Dispatcher::Dispatcher() : m_owner(std::this_thread::get_id()) {}

Dispatcher::~Dispatcher() {
    // Release any worker still waiting; its task is dropped.
    std::lock_guard lock(m_mutex);
    for (Task* t : m_tasks) {
        if (t->posted) {
            delete t;
            continue;
        }
        t->done = true;
        t->finished.notify_all();
    }
    m_tasks.clear();
}

void Dispatcher::invoke(std::function<void()> task) {
    if (isOwningThread()) {
        task();
        return;
    }
    Task t;
    t.fn = std::move(task);
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(&t);
    }
    m_queued.notify_all();
    wake();
    std::unique_lock lock(m_mutex);
    t.finished.wait(lock, [&] { return t.done; });
    if (t.error)
        std::rethrow_exception(t.error);
}

void Dispatcher::post(std::function<void()> task) {
    auto* t = new Task;
    t->fn = std::move(task);
    t->posted = true;
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(t);
    }
    m_queued.notify_all();
    wake();
}

std::size_t Dispatcher::runPending() {
    std::size_t ran = 0;
    for (;;) {
        Task* t = nullptr;
        {
            std::lock_guard lock(m_mutex);
            if (m_tasks.empty())
                break;
            t = m_tasks.front();
            m_tasks.pop_front();
        }
        try {
            t->fn();
        } catch (...) {
            t->error = std::current_exception();
        }
        if (t->posted) {
            delete t;
            ++ran;
            continue;
        }
        {
            std::lock_guard lock(m_mutex);
            t->done = true;
            t->finished.notify_all();
        }
        ++ran;
    }
    return ran;
}

bool Dispatcher::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                          std::chrono::milliseconds recheck) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        runPending();
        if (done())
            return true;
        std::unique_lock lock(m_mutex);
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        // Wake for a hand-off or, at the latest, after `recheck` to look at done() again.
        m_queued.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + recheck),
                            [&] { return !m_tasks.empty(); });
    }
}

void Dispatcher::runFor(std::chrono::milliseconds duration) {
    runUntil([] { return false; }, duration);
}

} // namespace quimbrel
