#pragma once

#include "platform/WindowSystem.h"

#include <exception>

// The one handling of programming faults: a box with the error's number and text, then the
// program ends.
class UnhandledErrors {
public:
    UnhandledErrors(MessageBoxes& boxes, Lifetime& lifetime) : boxes_(boxes), lifetime_(lifetime) {}

    void report(const std::exception& error);

    // The number shown for an error of this kind.
    static int number(const std::exception& error);

private:
    MessageBoxes& boxes_;
    Lifetime& lifetime_;
    bool reported_ = false;
};
