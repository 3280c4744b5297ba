#include "tests/support/limit_scan.h"

namespace orvanta {

// Out of line, as the benchmarks' baseline has always called it.
LimitAnswer find_limit_by_scan(std::u16string_view component_guid) noexcept
{
    for (const LimitRow& row : kLimitRows)
        if (row.guid == component_guid) return {row.family_total, row.maximum};
    return kDefaultLimit;
}

}  // namespace orvanta
