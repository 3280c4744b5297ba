// Type information behind late binding, per face of the class. Where the
// platform's type-library support is absent the faces offer none, and late
// binding works from the class's own dispatch table alone.
#pragma once

#include "runtime/automation.h"

namespace orvanta {

enum class Face { Default, Server };

// What the platform offers for the face: a count and its entries. The
// IServer face hands out the host's description only once it has accepted
// it (frame/server_dispatch_host.h); these give that description as found.
UINT type_info_count(Face face) noexcept;
HRESULT face_type_info(Face face, UINT index, LCID lcid, ITypeInfo** info) noexcept;

}  // namespace orvanta
