// The limit table: for a component kind, its maximum count and the
// FamilyTotal flag that goes with it. Rows are in the order they are tested;
// the GUIDs are distinct even without regard to letter case, so at most one
// row matches any text and the order never changes an answer.
#pragma once

#include "identity.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orvanta {

struct LimitRow {
    std::u16string_view guid;
    bool family_total;
    int32_t maximum;
};

struct LimitAnswer {
    bool family_total;
    int32_t maximum;
    friend constexpr bool operator==(LimitAnswer a, LimitAnswer b)
    {
        return a.family_total == b.family_total && a.maximum == b.maximum;
    }
};

// What a GUID that no row lists gets.
inline constexpr LimitAnswer kDefaultLimit{false, -1};

inline constexpr std::array<LimitRow, 81> kLimitRows = {{
    {u"{E2657B80-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B7F-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{4B59F580-744D-11d2-BF65-00C04F794409}", true, 99},
    {u"{4B59F57C-744D-11d2-BF65-00C04F794409}", true, 99},
    {u"{0CB6D926-5775-11d2-8521-00C04FCCA0C7}", true, 99},
    {u"{0CB6D927-5775-11d2-8521-00C04FCCA0C7}", true, 255},
    {u"{E2657B82-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B81-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{FB6D6CB7-C467-11d2-A8F8-00C04F72FDB6}", true, 99},
    {u"{FB6D6CB8-C467-11d2-A8F8-00C04F72FDB6}", true, 255},
    {u"{E2657BA2-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657BA1-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{4FDD7631-B44F-11d3-AE6D-00C04F7A74B4}", true, 99},
    {u"{4FDD7632-B44F-11d3-AE6D-00C04F7A74B4}", true, 255},
    {u"{E2657B84-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B83-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{1D7F6398-508D-11d3-BFA5-00C04F794409}", true, 65000},
    {u"{EC61AE54-A471-11d2-BF5E-00C04F799D26}", true, 65000},
    {u"{024DE190-2C54-11d4-8DA1-00C04F0778AE}", true, 99},
    {u"{024DE194-2C54-11d4-8DA1-00C04F0778AE}", true, 255},
    {u"{E2657B86-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B85-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{6E8C5C52-15F3-4a15-BB8C-B9725AC4E64C}", true, 65000},
    {u"{5D7008A4-AF7D-4c2d-9091-BED591F08C8C}", false, 65000},
    {u"{E2657B88-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B87-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{CEB6C95D-E243-11d2-BFCC-00C04F79999C}", true, 99},
    {u"{CEB6C95E-E243-11d2-BFCC-00C04F79999C}", true, 255},
    {u"{E2657B8C-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B8B-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{4B59F581-744D-11d2-BF65-00C04F794409}", true, 99},
    {u"{4B59F57D-744D-11d2-BF65-00C04F794409}", true, 255},
    {u"{E2657B8E-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B8D-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{E2657B90-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B8F-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{A02C9EA5-721D-11d2-BF64-00C04F794409}", true, 99},
    {u"{A02C9EA6-721D-11d2-BF64-00C04F794409}", true, 255},
    {u"{E2657B92-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B91-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{5AF24219-CB7C-11d2-A8F8-00C04F72FDB6}", true, 99},
    {u"{5AF2421A-CB7C-11d2-A8F8-00C04F72FDB6}", true, 255},
    {u"{E2657B94-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B93-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{E2657BA6-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657BA5-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{852452C3-575C-11d2-8520-00C04FCCA0C7}", true, 99},
    {u"{B4FD0551-575F-11d2-8521-00C04FCCA0C7}", true, 255},
    {u"{E2657B96-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B95-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{560BC190-3FC8-11d3-AE0C-00C04FCC90B7}", true, 99},
    {u"{560BC191-3FC8-11d3-AE0C-00C04FCC90B7}", true, 255},
    {u"{E2657B98-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B97-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{5B8F7E14-72B9-11d2-BF64-00C04F794409}", true, 99},
    {u"{5B8F7E16-72B9-11d2-BF64-00C04F794409}", true, 255},
    {u"{67ADA9D1-6183-11d2-8F3C-00C04F880E61}", true, 50},
    {u"{4F1ABDD1-63E7-11d2-8F3D-00C04F880E61}", true, 160},
    {u"{5B8F7E15-72B9-11d2-BF64-00C04F794409}", true, 99},
    {u"{5B8F7E17-72B9-11d2-BF64-00C04F794409}", true, 255},
    {u"{5F2E1981-663C-11d2-8526-00C04FCCA0C7}", true, 1},
    {u"{E2657B9A-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B99-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{E2657B9C-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B9B-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{E2657B9E-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B9D-7F5B-11d2-BF88-00C04F79999C}", true, 255},
    {u"{0CB6D929-5775-11d2-8521-00C04FCCA0C7}", true, 65000},
    {u"{0CB6D92A-5775-11d2-8521-00C04FCCA0C7}", true, 65000},
    {u"{0CB6D92B-5775-11d2-8521-00C04FCCA0C7}", true, 65000},
    {u"{4F1ABDD3-63E7-11d2-8F3D-00C04F880E61}", true, 160},
    {u"{4B59F57F-744D-11d2-BF65-00C04F794409}", true, 99},
    {u"{4B59F57B-744D-11d2-BF65-00C04F794409}", true, 255},
    {u"{A08BAE21-0605-11d5-8E2E-00C04F0778AE}", true, 99},
    {u"{A08BAE25-0605-11d5-8E2E-00C04F0778AE}", true, 255},
    {u"{4B59F57E-744D-11d2-BF65-00C04F794409}", true, 99},
    {u"{4B59F57A-744D-11d2-BF65-00C04F794409}", true, 255},
    {u"{0CB6D921-5775-11d2-8521-00C04FCCA0C7}", true, 99},
    {u"{0CB6D925-5775-11d2-8521-00C04FCCA0C7}", true, 255},
    {u"{E2657BA0-7F5B-11d2-BF88-00C04F79999C}", true, 99},
    {u"{E2657B9F-7F5B-11d2-BF88-00C04F79999C}", true, 255},
}};

// The answer for the given text. Keys compare exactly: same length, same
// 16-bit units, no case folding, no trimming. Hashed, not scanned.
LimitAnswer find_limit(std::u16string_view component_guid) noexcept;

}  // namespace orvanta
