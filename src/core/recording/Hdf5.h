#pragma once

#include "core/recording/RecordedSweep.h"

#include <hdf5.h>

#include <utility>

// The HDF5 library's C API as the one-file recording uses it: identifiers closed by their
// owner, the library's error printing kept off while a call of ours runs, and a failed call
// turned into a RecordingError with the system's error number where the library names one.
namespace Hdf5 {

// An identifier of the library's, given back when it goes.
class Id {
public:
    Id() = default;
    explicit Id(hid_t id) : id_(id) {}
    ~Id() { reset(); }
    Id(Id&& other) noexcept : id_(std::exchange(other.id_, H5I_INVALID_HID)) {}
    Id& operator=(Id&& other) noexcept
    {
        if (this != &other) {
            reset();
            id_ = std::exchange(other.id_, H5I_INVALID_HID);
        }
        return *this;
    }
    operator hid_t() const { return id_; }
    bool valid() const { return id_ >= 0; }
    void reset();
    // Gives the identifier up without closing it, for a close whose result counts.
    hid_t release() { return std::exchange(id_, H5I_INVALID_HID); }

private:
    hid_t id_ = H5I_INVALID_HID;
};

// While one lives, a failing call of this thread prints nothing; the handling before comes back
// when it goes (the library is shared with any other user of it in the process, such as h5py).
class Quiet {
public:
    Quiet();
    ~Quiet();
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

private:
    H5E_auto2_t function_ = nullptr;
    void* data_ = nullptr;
};

// The failure the library reports for this thread's last call: the system's error number when
// the library names one (a write that found the disk full), otherwise the library's own words
// from the innermost report, after `what`.
RecordingError failure(const QString& what);

// The call's result when it succeeded (a valid identifier, or not negative); otherwise throws
// failure(what).
hid_t check(hid_t result, const char* what);
inline herr_t check(herr_t result, const char* what)
{
    return herr_t(check(hid_t(result), what));
}
inline Id make(hid_t result, const char* what)
{
    return Id(check(result, what));
}

} // namespace Hdf5
