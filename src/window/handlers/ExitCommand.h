#pragma once

#include "devices/MSComm.h"
#include "window/toolkit/WindowSystem.h"

// Command1_Click, Exit: releases the port if it is open and ends the program at once.
class ExitCommand {
public:
    ExitCommand(MSComm& comm, Lifetime& lifetime) : comm_(comm), lifetime_(lifetime) {}

    void Command1_Click();

private:
    MSComm& comm_;
    Lifetime& lifetime_;
};
