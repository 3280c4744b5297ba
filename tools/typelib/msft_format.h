// Constants of the compiled type-library ("MSFT") format, shared by the
// writer and the reader. Sizes are byte counts.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tlb::msft {

constexpr uint32_t kMagic = 0x5446534D;  // "MSFT"
constexpr uint32_t kFormatVersion = 0x00010002;
constexpr std::size_t kHeaderSize = 0x54;
// One entry of the segment directory.
constexpr std::size_t kSegDirEntrySize = 16;
constexpr std::size_t kTypeInfoSize = 0x64;
constexpr std::size_t kGuidEntrySize = 24;
constexpr std::size_t kImpInfoSize = 12;
constexpr std::size_t kRefRecordSize = 16;
constexpr uint32_t kImpInfoByGuid = 0x00010000;

// Segment directory entries, in directory order.
enum SegmentIndex : size_t {
    kSegTypeInfo,
    kSegImpInfo,
    kSegImpFiles,
    kSegRefTab,
    kSegGuidHash,
    kSegGuidTab,
    kSegNameHash,
    kSegNameTab,
    kSegStringTab,
    kSegTypeDesc,
    kSegArrayDesc,
    kSegCustData,
    kSegCustDataGuids,
    kSegRes0E,
    kSegRes0F,
    kSegmentCount
};

}  // namespace tlb::msft
