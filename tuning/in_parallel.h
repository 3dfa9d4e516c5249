#pragma once

#include <cstddef>
#include <future>
#include <vector>

// Runs task(0) ... task(count - 1) at once, the first in the calling thread,
// and gives their results in order: the rival fits of one sweep, which share
// nothing they write (the model's work space is per thread). An exception
// from a task reaches the caller. Example: inParallel(3, [](std::size_t i) {
// return i * i; }) gives {0, 1, 4}.
namespace varnel {

template <class Task> auto inParallel(std::size_t count, const Task &task) {
    using Result = decltype(task(std::size_t{0}));
    std::vector<std::future<Result>> others;
    for (std::size_t i = 1; i < count; ++i)
        others.push_back(std::async(std::launch::async, [&task, i] { return task(i); }));
    std::vector<Result> results;
    results.reserve(count);
    if (count > 0)
        results.push_back(task(0));
    for (std::future<Result> &other : others)
        results.push_back(other.get());
    return results;
}

} // namespace varnel
