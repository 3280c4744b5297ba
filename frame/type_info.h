// Type information behind late binding, per face of the class. Where the
// platform's type-library support is absent the faces offer none, and late
// binding works from the class's own dispatch table alone.
#pragma once

#include "runtime/automation.h"

namespace orvanta {

enum class Face { Default, Server };

UINT type_info_count(Face face) noexcept;
HRESULT face_type_info(Face face, UINT index, LCID lcid, ITypeInfo** info) noexcept;

}  // namespace orvanta
