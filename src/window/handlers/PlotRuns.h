#pragma once

// Which trace run (a sweep or a replay) owns Picture1. A run that starts takes the plot; a
// run it interrupted in the middle of a yield finds out when the yield returns, and stops
// instead of drawing over, or storing into, what the newer run shows.
class PlotRuns {
public:
    unsigned start() { return ++current_; }
    bool owns(unsigned run) const { return run == current_; }

private:
    unsigned current_ = 0;
};
