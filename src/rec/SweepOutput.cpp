#include "rec/SweepOutput.h"

#include <cstring>

QString englishReason(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

QString englishReason(const Failure& failure)
{
    return failure.errorNumber() ? englishReason(failure.errorNumber()) : failure.reason();
}
