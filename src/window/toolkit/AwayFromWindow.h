#pragma once

#include <QEventLoop>

#include <exception>
#include <optional>
#include <thread>

// Runs a call that waits on another program (the print spooler) on a thread of its own while
// the window's thread goes on handling events, as in a box's own event loop: the window
// repaints and answers clicks and signals meanwhile. Returns what the call returned, or throws
// what it threw.
template <class Call>
auto awayFromWindow(Call call) -> decltype(call())
{
    std::optional<decltype(call())> result;
    std::exception_ptr failure;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            result.emplace(call());
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
    return std::move(*result);
}
