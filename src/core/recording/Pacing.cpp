#include "core/recording/Pacing.h"

#include <algorithm>
#include <cmath>

Pacing::Slot Pacing::next(double now)
{
    // The first sweep begins the pacing; each after it takes the first slot at or after now,
    // never one already taken.
    if (last_ < 0)
        origin_ = now;
    const long long due = last_ < 0 ? 0 : std::max(last_ + 1, static_cast<long long>(std::ceil((now - origin_) / interval_)));
    const Slot slot{due, origin_ + due * interval_, due - last_ - 1};
    last_ = due;
    return slot;
}
