#pragma once

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>

// A question put to a file system that may never answer (a network mount
// whose server stopped): asked on a thread of its own, waited for at most
// limit. No answer in time is nullopt, and the thread is left to finish
// alone; it holds nothing of the caller's.
template <typename Work>
auto answerWithin(std::chrono::milliseconds limit, Work work) -> std::optional<decltype(work())>
{
    using T = decltype(work());
    auto task = std::make_shared<std::packaged_task<T()>>(std::move(work));
    std::future<T> answer = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (answer.wait_for(limit) != std::future_status::ready)
        return std::nullopt;
    return answer.get();
}

// How long the program waits for a drive before it counts as not ready.
inline constexpr std::chrono::milliseconds DriveAnswerLimit{2000};
