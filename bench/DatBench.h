#pragma once

// q390-dat csv of one data file of random records: milliseconds from starting the process to
// its end (output to /dev/null) by the wall clock and in the processor time it used, and of
// the conversion alone inside this process; medians.
struct DatCsv {
    double processMs = 0;
    double processCpuMs = 0;
    double conversionMs = 0;
};

DatCsv measureDatCsv(int runs);
