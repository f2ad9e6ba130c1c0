#pragma once

// What a thread that writes the recording's output does first: it leaves the stop signals to
// the recording's thread, whose waits they are to end, and, woken by a sweep handed over, it
// waits its turn rather than preempting the sweeps (where the system has batch scheduling).
void becomeWriterThread();
