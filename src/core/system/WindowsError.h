#pragma once

#include <QString>

// Windows' own error codes (GetLastError) as the errno-style numbers the rest of the program
// words, so that a failure reads the same on every system; a code with no counterpart is EIO.
int errnoFromWindows(unsigned long error);
// The system's own text of a Windows error code.
QString windowsErrorText(unsigned long error);
