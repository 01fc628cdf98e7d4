#pragma once

#include <cstdint>
#include <type_traits>

#include "netframe/TextConversion.h"

namespace netframe {

// The version a wire library reports in its initialisation record and from DllGetVersion.
struct LibraryVersion {
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t build;
    const char* description;
};

// DllGetVersion's results for a record without the expected size and for a null record.
inline constexpr std::int32_t kVersionBadSize = static_cast<std::int32_t>(0x80000003U);
inline constexpr std::int32_t kVersionNullRecord = static_cast<std::int32_t>(0x80000005U);
inline constexpr std::uint32_t kVersionRecordSize = 20;
inline constexpr std::uint32_t kVersionPlatform = 1;

// Fills an initialisation record (a library's INITDATA or INITDATAW) whose size the caller has
// checked: version, options 0 and the description, truncated to the record's field.
template <typename InitData>
void FillInitData(InitData& data, const LibraryVersion& version) {
    data.dwVersionMajor = version.major;
    data.dwVersionMinor = version.minor;
    data.dwVersionBuild = version.build;
    data.dwOptions = 0;
    using Field = decltype(InitData::szDescription);
    using Unit = std::remove_extent_t<Field>;
    constexpr int capacity = static_cast<int>(std::extent_v<Field>);
    if constexpr (std::is_same_v<Unit, char16_t>) {
        CopyTruncated(ToUtf16(version.description), data.szDescription, capacity);
    } else {
        CopyTruncated(version.description, data.szDescription, capacity);
    }
}

// DllGetVersion: fills a 20-byte version record. Returns 0, kVersionNullRecord for a null
// record or kVersionBadSize when its size field is not 20.
template <typename VersionRecord>
std::int32_t FillVersionRecord(VersionRecord* record, const LibraryVersion& version) {
    if (!record) {
        return kVersionNullRecord;
    }
    if (record->cbSize != kVersionRecordSize) {
        return kVersionBadSize;
    }
    record->dwMajorVersion = version.major;
    record->dwMinorVersion = version.minor;
    record->dwBuildNumber = version.build;
    record->dwPlatformID = kVersionPlatform;
    return 0;
}

}  // namespace netframe
