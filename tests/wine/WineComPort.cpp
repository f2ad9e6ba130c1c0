// Preloaded (LD_PRELOAD) into every process of a Wine session by scripts/windows-test.sh:
// Wine's COM1 is a link to a pseudo-terminal that the script holds open, and in each process
// this makes that terminal the emulated port of tests/devices, the simulated converter
// answering the ramp of converter codes behind its lines. Wine's server opens the terminal;
// the program's own process makes the line calls on the descriptor the server hands it.
//   Q390_WINE_COM       the link (the prefix's dosdevices/com1)
//   Q390_WINE_PULL_AT   the adapter is pulled out at this line operation of a process

#include "EmulatedPort.h"
#include "support/Ramp.h"
#include "core/converter/SimulatedConverter.h"

#include <cstdlib>

namespace {

SimulatedConverter& converter()
{
    static SimulatedConverter converter{Ramp{}};
    return converter;
}

void setRts(void*, int asserted) { converter().setRts(asserted != 0); }
void setDtr(void*, int asserted) { converter().setDtr(asserted != 0); }
int readCts(void*) { return converter().readCts(); }

__attribute__((constructor)) void adopt()
{
    const char* link = std::getenv("Q390_WINE_COM");
    if (!link || *link == '\0')
        return;
    const emuport_lines lines{&setRts, &setDtr, &readCts, nullptr};
    if (emuport_adopt(link, &lines) != 0)
        return;
    if (const char* at = std::getenv("Q390_WINE_PULL_AT"))
        emuport_fail_from(std::atol(at));
}

} // namespace
