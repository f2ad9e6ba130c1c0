#include "core/recording/OneFileLayout.h"

#include "core/recording/WriterSystem.h"
#include "core/samples/Samples.h"

namespace OneFileLayout {
namespace {

Hdf5::Id text(int bytes)
{
    Hdf5::Id type = Hdf5::make(H5Tcopy(H5T_C_S1), "a string type");
    Hdf5::check(H5Tset_size(type, bytes), "a string type");
    Hdf5::check(H5Tset_strpad(type, H5T_STR_NULLPAD), "a string type");
    Hdf5::check(H5Tset_cset(type, H5T_CSET_UTF8), "a string type");
    return type;
}

Hdf5::Id copy(hid_t type)
{
    return Hdf5::make(H5Tcopy(type), "a type");
}

} // namespace

const FieldInfo& info(Field field)
{
    static const FieldInfo fields[FieldCount] = {
        {"sweep", nullptr, "the sweep's number, from 1, in recording order"},
        {"start", "s", "when the sweep began: seconds since 1970-01-01T00:00:00Z (UTC), to the millisecond"},
        {"duration", "s", "how long the sweep took, from its first conversion to its last"},
        {"channel", nullptr, "the converter's channel, 0 to 7"},
        {"range", nullptr, "unipolar (0 to +5 V) or bipolar (-2 to +2 V)"},
        {"volts_per_code", "V", "the volts one step of the code stands for in the sweep's range: 5/4096 or 2/2048"},
        {"link", nullptr, "how the sweep reached the converter: simulator, modem-lines or ftdi-bitbang"},
        {"note", nullptr, "what is doubtful about the sweep; empty when nothing"},
        {"trigger", nullptr, "the index (from 0) of the first sample past the trigger's crossing; -1 without a trigger"},
        {"codes", nullptr,
         "the converter's codes, sweeps x 8192: unipolar 0 to 4095, bipolar -2048 to 2047; "
         "volts = codes[k, i] * volts_per_code[k]; a code outside those is a record no sweep produces, "
         "kept so that the data file it came from is given back as it was"},
    };
    return fields[field];
}

Hdf5::Id fileType(Field field)
{
    switch (field) {
    case Sweep: return copy(H5T_STD_I64LE);
    case Start:
    case Duration:
    case VoltsPerCode: return copy(H5T_IEEE_F64LE);
    case Channel: return copy(H5T_STD_U8LE);
    case RangeName: return text(RangeBytes);
    case Link: return text(LinkBytes);
    case Note: return text(NoteBytes);
    case TriggerIndex: return copy(H5T_STD_I32LE);
    case Codes:
    case FieldCount: break;
    }
    return copy(H5T_STD_I16LE);
}

Hdf5::Id memoryType(Field field)
{
    switch (field) {
    case Sweep: return copy(H5T_NATIVE_INT64);
    case Start:
    case Duration:
    case VoltsPerCode: return copy(H5T_NATIVE_DOUBLE);
    case Channel: return copy(H5T_NATIVE_UINT8);
    case TriggerIndex: return copy(H5T_NATIVE_INT32);
    case RangeName:
    case Link:
    case Note: return fileType(field);
    case Codes:
    case FieldCount: break;
    }
    return copy(H5T_NATIVE_INT16);
}

Hdf5::Id fileAccess()
{
    // The metadata cache fixed at this size: with the library's growing one, the chunk indexes'
    // blocks of a long recording stay in memory.
    constexpr size_t MetadataCacheBytes = 128 * 1024;
    // One codes chunk a dataset, the one being written or read.
    constexpr size_t ChunkCacheBytes = SweepLength * sizeof(qint16);
    constexpr size_t ChunkCacheSlots = 7;
    Hdf5::Id access = Hdf5::make(H5Pcreate(H5P_FILE_ACCESS), "a file access list");
    Hdf5::check(H5Pset_libver_bounds(access, H5F_LIBVER_V110, H5F_LIBVER_V110), "the file format");
    Hdf5::check(setLibraryLocks(access), "the file locks");
    Hdf5::check(H5Pset_cache(access, 0, ChunkCacheSlots, ChunkCacheBytes, 1.0), "the chunk cache");
    H5AC_cache_config_t cache{};
    cache.version = H5AC__CURR_CACHE_CONFIG_VERSION;
    Hdf5::check(H5Pget_mdc_config(access, &cache), "the metadata cache");
    cache.set_initial_size = true;
    cache.initial_size = cache.min_size = cache.max_size = MetadataCacheBytes;
    cache.incr_mode = H5C_incr__off;
    cache.flash_incr_mode = H5C_flash_incr__off;
    cache.decr_mode = H5C_decr__off;
    Hdf5::check(H5Pset_mdc_config(access, &cache), "the metadata cache");
    return access;
}

} // namespace OneFileLayout
