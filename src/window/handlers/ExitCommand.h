#pragma once

#include "window/handlers/MSComm.h"
#include "window/handlers/AfterSweep.h"
#include "window/toolkit/WindowSystem.h"

// Command1_Click, Exit: releases the port if it is open, carries out the work the user confirmed
// while a sweep ran (its failure box included), and ends the program, once a page on its way
// to the print system is handed over. From its start no other handler runs, not even clicks
// queued behind it.
class ExitCommand {
public:
    ExitCommand(MSComm& comm, AfterSweep& afterSweep, MessageBoxes& boxes, Lifetime& lifetime)
        : comm_(comm), afterSweep_(afterSweep), boxes_(boxes), lifetime_(lifetime)
    {
    }

    void Command1_Click();
    // Exit on SIGTERM, SIGHUP or SIGINT (a logout, a kill): nobody is there to answer a box,
    // so failures go to the standard error stream and the program ends all the same.
    void signalled();
    bool exiting() const { return exiting_; }

private:
    MSComm& comm_;
    AfterSweep& afterSweep_;
    MessageBoxes& boxes_;
    Lifetime& lifetime_;
    bool exiting_ = false;
};
