#pragma once

#include "window/handlers/MSComm.h"
#include "window/toolkit/WindowSystem.h"

#include <exception>

// The one handling of programming faults: the port is released, a box gives the error's number
// and text, then the program ends.
class UnhandledErrors {
public:
    UnhandledErrors(MessageBoxes& boxes, Lifetime& lifetime, MSComm& port)
        : boxes_(boxes), lifetime_(lifetime), port_(port)
    {
    }

    void report(const std::exception& error);

    // The number shown for an error of this kind.
    static int number(const std::exception& error);

private:
    MessageBoxes& boxes_;
    Lifetime& lifetime_;
    MSComm& port_;
    bool reported_ = false;
};
