#pragma once

#include <pybind11/pybind11.h>

// Runs `work` without the GIL and returns what it returns. The GIL is taken back outside any
// destructor: once the interpreter is finalizing, taking it ends a daemon thread by a forced
// unwind, which a noexcept frame (a scoped release's destructor) would turn into an abort.
template <class Work>
auto withoutGil(Work&& work)
{
    PyThreadState* const state = PyEval_SaveThread();
    try {
        if constexpr (std::is_void_v<decltype(work())>) {
            work();
            PyEval_RestoreThread(state);
        } else {
            auto result = work();
            PyEval_RestoreThread(state);
            return result;
        }
    } catch (...) {
        PyEval_RestoreThread(state);
        throw;
    }
}
