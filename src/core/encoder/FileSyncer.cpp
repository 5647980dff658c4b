// The sync thread: one pass over the watched files whenever one of them is due or released.
#include "encoder/FileSyncer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quimbrel {

namespace {

using Clock = std::chrono::steady_clock;

// A new file's name lives in its folder: syncing the file alone does not keep it on every file system.
void syncfolder(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    while (::fsync(fd) < 0 && errno == EINTR) {
    }
    ::close(fd);
}

} // namespace

struct FileSyncer::Entry {
    Entry(int descriptor, std::string name) : fd(descriptor), path(std::move(name)) {}
    ~Entry() {
        if (fd >= 0)
            ::close(fd);
    }
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

    const int fd; // the syncer's own descriptor of the file
    const std::string path;
    Clock::time_point due;     // guarded by Shared::mutex
    bool released = false;     // guarded by Shared::mutex
    bool unsyncable = false;   // the sync thread's alone: the descriptor does not support syncing
    bool foldersynced = false; // the sync thread's alone: the file's name is on the disk too
    std::atomic<int> error{0};
};

struct FileSyncer::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    bool working = false; // the thread is syncing or closing outside the lock
    std::vector<std::shared_ptr<Entry>> entries;
    std::chrono::milliseconds interval{kDefaultInterval};
    bool stopping = false;
    bool started = false;
    Observer observer;
    SyncFunction sync;
    Counts counts;
};

FileSyncer::Watch::Watch(std::shared_ptr<Shared> shared, std::shared_ptr<Entry> entry)
    : m_shared(std::move(shared)), m_entry(std::move(entry)) {}

FileSyncer::Watch::Watch(Watch&& other) noexcept
    : m_shared(std::move(other.m_shared)), m_entry(std::move(other.m_entry)) {}

FileSyncer::Watch& FileSyncer::Watch::operator=(Watch&& other) noexcept {
    if (this != &other) {
        release();
        m_shared = std::move(other.m_shared);
        m_entry = std::move(other.m_entry);
    }
    return *this;
}

FileSyncer::Watch::~Watch() {
    release();
}

void FileSyncer::Watch::release() {
    if (!m_entry)
        return;
    {
        std::lock_guard lock(m_shared->mutex);
        m_entry->released = true;
    }
    m_shared->wake.notify_one();
    m_entry.reset();
    m_shared.reset();
}

int FileSyncer::Watch::error() const {
    return m_entry ? m_entry->error.load(std::memory_order_relaxed) : 0;
}

FileSyncer::FileSyncer(std::chrono::milliseconds interval) : m_shared(std::make_shared<Shared>()) {
    m_shared->interval = std::max(interval, std::chrono::milliseconds(0));
}

FileSyncer::~FileSyncer() {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stopping = true;
    }
    m_shared->wake.notify_one();
    if (m_thread.joinable()) {
        // A child made by fork() has no copy of the thread to wait for.
        if (m_owner == ::getpid())
            m_thread.join();
        else
            m_thread.detach();
    }
}

FileSyncer& FileSyncer::shared() {
    static FileSyncer syncer;
    return syncer;
}

FileSyncer::Watch FileSyncer::watch(int fd, const std::string& path) {
    if (fd < 0)
        return {};
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return {};
    auto entry = std::make_shared<Entry>(own, path);
    {
        std::lock_guard lock(m_shared->mutex);
        entry->due = Clock::now() + m_shared->interval;
        m_shared->entries.push_back(entry);
        if (!m_shared->started) {
            m_shared->started = true;
            m_owner = ::getpid();
            m_thread = std::thread([this] { run(); });
        }
    }
    m_shared->wake.notify_one();
    return Watch(m_shared, std::move(entry));
}

FileSyncer::Watch FileSyncer::watchpath(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    Watch w = watch(fd, path);
    ::close(fd);
    return w;
}

void FileSyncer::setInterval(std::chrono::milliseconds interval) {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->interval = std::max(interval, std::chrono::milliseconds(0));
        const Clock::time_point next = Clock::now() + m_shared->interval;
        for (const auto& e : m_shared->entries)
            e->due = std::min(e->due, next);
    }
    m_shared->wake.notify_one();
}

std::chrono::milliseconds FileSyncer::interval() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->interval;
}

void FileSyncer::setObserver(Observer observer) {
    std::unique_lock lock(m_shared->mutex);
    m_shared->observer = std::move(observer);
    m_shared->idle.wait(lock, [this] { return !m_shared->working; });
}

void FileSyncer::waitIdle() {
    std::unique_lock lock(m_shared->mutex);
    m_shared->idle.wait(lock, [this] {
        const auto& entries = m_shared->entries;
        return !m_shared->working &&
               std::none_of(entries.begin(), entries.end(), [](const auto& e) { return e->released; });
    });
}

void FileSyncer::setSyncFunction(SyncFunction sync) {
    std::lock_guard lock(m_shared->mutex);
    m_shared->sync = std::move(sync);
}

FileSyncer::Counts FileSyncer::counts() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->counts;
}

void FileSyncer::run() {
    Shared& s = *m_shared;
    struct Job {
        std::shared_ptr<Entry> entry;
        bool last;
    };
    std::vector<Job> jobs;
    std::vector<std::shared_ptr<Entry>> dropped;
    std::unique_lock lock(s.mutex);
    for (;;) {
        const Clock::time_point now = Clock::now();
        const bool syncing = s.interval.count() > 0;
        Clock::time_point earliest = Clock::time_point::max();
        for (auto it = s.entries.begin(); it != s.entries.end();) {
            Entry& e = **it;
            if (e.released) {
                if (syncing && !e.unsyncable)
                    jobs.push_back({*it, true});
                else
                    dropped.push_back(*it);
                it = s.entries.erase(it);
                continue;
            }
            if (syncing && !e.unsyncable && !s.stopping) {
                if (e.due <= now) {
                    jobs.push_back({*it, false});
                    e.due = now + s.interval;
                }
                earliest = std::min(earliest, e.due);
            }
            ++it;
        }
        if (jobs.empty() && dropped.empty()) {
            if (s.stopping)
                return;
            if (earliest == Clock::time_point::max())
                s.wake.wait(lock);
            else
                s.wake.wait_until(lock, earliest);
            continue;
        }
        const Observer observer = s.observer;
        const SyncFunction sync = s.sync;
        s.working = true;
        lock.unlock();
        // The last references of released files go here, so their descriptors close off the owner's thread.
        dropped.clear();
        Counts done;
        for (const Job& job : jobs) {
            int error = 0;
            if (sync) {
                error = sync(job.entry->fd);
            } else {
                int r;
                do
                    r = ::fdatasync(job.entry->fd);
                while (r < 0 && errno == EINTR);
                error = r < 0 ? errno : 0;
            }
            if (error == EINVAL || error == EROFS || error == EBADF) {
                // A descriptor that cannot be synced (a pipe, a special file) is left alone from now on.
                job.entry->unsyncable = true;
            } else if (error != 0) {
                int none = 0;
                job.entry->error.compare_exchange_strong(none, error, std::memory_order_relaxed);
            }
            if (error == 0 && !job.entry->foldersynced) {
                job.entry->foldersynced = true;
                syncfolder(job.entry->path);
            }
            if (error == 0)
                ++done.syncs;
            else
                ++done.failures;
            if (observer)
                observer({job.entry->path, job.last, error});
        }
        jobs.clear();
        lock.lock();
        s.counts.syncs += done.syncs;
        s.counts.failures += done.failures;
        s.working = false;
        s.idle.notify_all();
    }
}

} // namespace quimbrel
