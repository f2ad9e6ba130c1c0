#pragma once

#include "core/recording/Hdf5.h"

#include <array>

// How one HDF5 file holds a recording: a dataset of codes, sweeps × 8192, one chunk a sweep,
// and beside it a one-dimensional dataset for each thing told of a sweep, all grown together,
// so that the volts of sweep k are f["codes"][k] * f["volts_per_code"][k] in h5py. Strings are
// fixed-length UTF-8 (a writer in SWMR mode can append no variable-length data). Every dataset
// and the file itself say in attributes what they hold and in which units.
namespace OneFileLayout {

enum Field { Sweep, Start, Duration, Channel, RangeName, VoltsPerCode, Link, Note, TriggerIndex, Codes, FieldCount };

struct FieldInfo {
    const char* name;
    const char* units; // nullptr: none
    const char* description;
};
const FieldInfo& info(Field field);

// The bytes of the fixed-length strings; a longer text is cut at a character's end.
constexpr int RangeBytes = 8, LinkBytes = 32, NoteBytes = 256;
// Marks the trigger index of a sweep no trigger chose.
constexpr int NoTrigger = -1;

// The type a field has in the file (little-endian integers and IEEE doubles, UTF-8 strings).
Hdf5::Id fileType(Field field);
// What a field is written from and read into, in this process's memory: qint64, double, quint8,
// qint32, qint16, or char[bytes] for a string.
Hdf5::Id memoryType(Field field);

// The file access the writer and the readers share: the 1.10 file format, which SWMR needs,
// the library's file locks where the system's are advisory (WriterSystem.h), and caches small
// enough that memory stays flat whatever the length (only the last chunk of each dataset is
// written; a reader reads one sweep at a time).
Hdf5::Id fileAccess();

// The file attributes a recording has: its format and version mark it as one.
constexpr const char* FormatName = "q390-recording";
constexpr int FormatVersion = 1;

} // namespace OneFileLayout
