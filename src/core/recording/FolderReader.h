#pragma once

#include "core/recording/RecordingReader.h"
#include "core/samples/RecordingIndex.h"

// A folder recording: the sweeps its index names, each read from its data file (or its CSV
// rows, for a folder recorded with --format csv).
class FolderReader final : public RecordingReader {
public:
    explicit FolderReader(const QByteArray& folder);

    Kind kind() const override { return Kind::Folder; }
    long long size() const override { return static_cast<long long>(index_.sweeps().size()); }
    RecordedSweep sweep(long long place) const override;
    SampleArray samples(long long place) const override;
    long long refresh() override;
    QStringList lost() const override { return index_.lost(); }

private:
    static RecordingIndex load(const QByteArray& folder);

    QByteArray folder_;
    RecordingIndex index_;
};
