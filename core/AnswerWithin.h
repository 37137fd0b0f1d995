#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace answer_within {

// The waits for a drive in progress on the window's thread.
inline std::atomic<int> windowWaits = 0;

// The waiter's loop, while it waits; the thread that answers late finds none.
struct Waiter {
    std::mutex mutex;
    QEventLoop *loop = nullptr;
    void wake()
    {
        const std::lock_guard lock(mutex);
        if (loop)
            QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
    }
};

// Most drives answer at once; only a slow one makes the window wait in an
// event loop, which repaints and lets timers tick.
inline constexpr std::chrono::milliseconds BlockingWait{50};

} // namespace answer_within

// True while the window's thread waits for a drive: the event loop then
// goes on, and what would start a run must not.
inline bool waitingForADrive()
{
    return answer_within::windowWaits > 0;
}

// A question put to a file system that may never answer (a network mount
// whose server stopped): asked on a thread of its own, waited for at most
// limit. No answer in time is nullopt, and the thread is left to finish
// alone; it holds nothing of the caller's. On the window's thread the wait
// goes on in an event loop that takes no user input (a click waits until
// the answer, so no handler is entered twice) nor socket events (the mount
// watch waits too); the window keeps painting meanwhile.
template <typename Work>
auto answerWithin(std::chrono::milliseconds limit, Work work) -> std::optional<decltype(work())>
{
    using T = decltype(work());
    auto waiter = std::make_shared<answer_within::Waiter>();
    auto task = std::make_shared<std::packaged_task<T()>>(std::move(work));
    std::future<T> answer = task->get_future();
    std::thread([task, waiter] {
        (*task)();
        waiter->wake();
    }).detach();
    const QCoreApplication *app = QCoreApplication::instance();
    const bool onWindowThread = app && QThread::currentThread() == app->thread();
    if (answer.wait_for(onWindowThread ? std::min(limit, answer_within::BlockingWait) : limit)
        != std::future_status::ready) {
        if (!onWindowThread)
            return std::nullopt;
        QEventLoop loop;
        QTimer::singleShot(std::max(limit - answer_within::BlockingWait, std::chrono::milliseconds(0)), &loop,
                           &QEventLoop::quit);
        {
            const std::lock_guard lock(waiter->mutex);
            waiter->loop = &loop;
        }
        if (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
            ++answer_within::windowWaits;
            loop.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
            --answer_within::windowWaits;
        }
        {
            const std::lock_guard lock(waiter->mutex);
            waiter->loop = nullptr;
        }
        if (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            return std::nullopt;
    }
    return answer.get();
}

// How long the program waits for a drive before it counts as not ready.
inline constexpr std::chrono::milliseconds DriveAnswerLimit{2000};
