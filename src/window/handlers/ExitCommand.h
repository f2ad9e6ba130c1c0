#pragma once

#include "devices/MSComm.h"
#include "window/handlers/AfterSweep.h"
#include "window/toolkit/WindowSystem.h"

// Command1_Click, Exit: releases the port if it is open, carries out the work the user confirmed
// while a sweep ran (its failure box included), and ends the program. From its start no other
// handler runs, not even clicks queued behind it.
class ExitCommand {
public:
    ExitCommand(MSComm& comm, AfterSweep& afterSweep, Lifetime& lifetime)
        : comm_(comm), afterSweep_(afterSweep), lifetime_(lifetime)
    {
    }

    void Command1_Click();
    bool exiting() const { return exiting_; }

private:
    MSComm& comm_;
    AfterSweep& afterSweep_;
    Lifetime& lifetime_;
    bool exiting_ = false;
};
