#pragma once

// Sweeps written one after another as data files of their own, as a recorder writes them:
// milliseconds per file by the wall clock, medians, written whole (SampleFile::write: synced,
// renamed, folder synced) and, for comparison, written plainly with no sync.
struct FileWrites {
    double wholeMs = 0;
    double plainMs = 0;
};

FileWrites measureFileWrites(int files);
