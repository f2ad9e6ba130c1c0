#pragma once

#include "core/recording/Hdf5.h"
#include "core/recording/OneFileLayout.h"
#include "core/recording/RecordingReader.h"

#include <array>
#include <vector>

// A recording in one HDF5 file, opened in SWMR mode without the library's lock. The sweeps
// there are those every dataset has: a reader may come while the writer's flush has grown some
// of them and not yet the others. Descriptions are read a block at a time, and kept for the
// block last read only.
class OneFileReader final : public RecordingReader {
public:
    explicit OneFileReader(const QByteArray& path);
    ~OneFileReader() override;

    Kind kind() const override { return Kind::OneFile; }
    long long size() const override { return size_; }
    RecordedSweep sweep(long long place) const override;
    SampleArray samples(long long place) const override;
    long long refresh() override;

private:
    void measure();
    void readBlock(long long first) const;

    Hdf5::Id file_;
    std::array<Hdf5::Id, OneFileLayout::FieldCount> datasets_, memoryTypes_;
    long long size_ = 0;
    mutable long long blockStart_ = 0;
    mutable std::vector<RecordedSweep> block_;
};
