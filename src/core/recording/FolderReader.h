#pragma once

#include "core/recording/RecordingReader.h"
#include "core/samples/RecordingIndex.h"

#include <vector>

// What an index's row says of its sweep, as a recording describes it.
RecordedSweep recordedSweep(const IndexedSweep& indexed);

// A folder recording: the sweeps its index names, each read from its data file (or its CSV
// rows, for a folder recorded with --format csv).
class FolderReader final : public RecordingReader {
public:
    explicit FolderReader(const QByteArray& folder);

    Kind kind() const override { return Kind::Folder; }
    long long size() const override { return static_cast<long long>(sweeps_.size()); }
    RecordedSweep sweep(long long place) const override;
    SampleArray samples(long long place) const override;
    long long refresh() override;
    QStringList lost() const override { return lost_; }

private:
    // The index read through once: the rows of the sweeps kept, and what the others tell.
    void load();

    QByteArray folder_;
    std::vector<IndexedSweep> sweeps_;
    QStringList lost_;
};
