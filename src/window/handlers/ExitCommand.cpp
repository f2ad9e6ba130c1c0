#include "window/handlers/ExitCommand.h"

void ExitCommand::Command1_Click()
{
    if (comm_.portOpen())
        comm_.setPortOpen(false);
    lifetime_.endProgram(0);
}
