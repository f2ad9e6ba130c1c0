#include "window/handlers/ExitCommand.h"

void ExitCommand::Command1_Click()
{
    if (exiting_)
        return;
    exiting_ = true;
    // The port first: a chip left in bit-bang mode keeps its tty from the system.
    if (comm_.portOpen())
        comm_.setPortOpen(false);
    afterSweep_.sweepEnded();
    afterSweep_.end([this] { lifetime_.endProgram(0); });
}

void ExitCommand::signalled()
{
    boxes_.unattended();
    Command1_Click();
}
