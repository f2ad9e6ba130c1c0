#include "window/toolkit/TerminationSignals.h"

// Windows delivers none of the signals to a window: nothing to watch.
struct TerminationSignals::Watch {};

TerminationSignals::TerminationSignals(std::function<void()>) {}

TerminationSignals::~TerminationSignals() = default;
