#pragma once

#include "core/system/Failure.h"

#include <QString>

// Failures in words, one table per language: Simplified Chinese for the window, whatever the
// user's locale, for the errors users meet, the system's text and number for the others;
// English for the tools and the Python module.
QString chineseReason(int errorNumber);
QString chineseReason(const Failure& failure);
QString englishReason(int errorNumber);
QString englishReason(const Failure& failure);
