// The synchronous hand-off from worker threads to the thread that owns the recorder (the UI thread).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quimbrel {

// A worker calls invoke() and blocks until the owning thread has run the task; the owning thread runs tasks
// from its event loop (the window program overrides wake() to post an event that calls runPending()) or, in
// tests and command-line tools, from runUntil(). While the owning thread waits for a worker to end, it keeps
// calling runPending(), so a hand-off in flight never deadlocks a stop.
class Dispatcher {
public:
    // The thread that constructs the dispatcher is its owning thread.
    Dispatcher();
    virtual ~Dispatcher();
    Dispatcher(const Dispatcher&) = delete;
    Dispatcher& operator=(const Dispatcher&) = delete;

    // Any thread. Runs task on the owning thread and waits until it has returned. Called on the owning thread
    // itself, it runs the task at once. An exception the task throws is rethrown here.
    void invoke(std::function<void()> task);

    // Any thread, never waits: queues task for the owning thread's next runPending, even when called on the
    // owning thread itself (so it may be called with locks held). A posted task must not throw; an exception
    // that escapes one is dropped. Tasks still queued when the dispatcher is destroyed do not run.
    void post(std::function<void()> task);

    // Owning thread. Runs the hand-offs queued now; returns how many ran.
    std::size_t runPending();

    // Owning thread. Runs hand-offs as they arrive until done() holds or the time-out passes; returns done().
    // done() is looked at after each round of hand-offs and, between them, every `recheck` (for conditions
    // that other threads change without a hand-off); a longer recheck wakes the thread less often.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                  std::chrono::milliseconds recheck = std::chrono::milliseconds(5));

    // Owning thread. Runs hand-offs as they arrive for the given time.
    void runFor(std::chrono::milliseconds duration);

    bool isOwningThread() const { return std::this_thread::get_id() == m_owner; }

protected:
    // Called on the thread that queued a task, right after queueing it.
    virtual void wake() {}

private:
    struct Task;
    std::thread::id m_owner;
    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::deque<Task*> m_tasks;
};

} // namespace quimbrel
