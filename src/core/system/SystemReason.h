#pragma once

#include <QString>

// Why a system call failed, as the boxes tell the user: Simplified Chinese for the errors users
// meet, whatever the locale; any other error keeps the system's own text with its number.
QString systemReason(int errorNumber);
