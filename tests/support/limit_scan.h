// The limit answer by the plain reading: the rows tested in table order.
// The reference that tests, fuzzers and benchmarks compare the module's
// hashed lookup against; never part of the module.
#pragma once

#include "definition/limits.h"

namespace orvanta {

LimitAnswer find_limit_by_scan(std::u16string_view component_guid) noexcept;

}  // namespace orvanta
