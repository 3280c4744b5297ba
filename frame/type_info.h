// Type information behind late binding, per face of the class. Where the
// platform's type-library support is absent the faces offer none, and late
// binding works from the class's own dispatch table alone.
#pragma once

#include "runtime/automation.h"

namespace orvanta {

enum class Face { Default, Server };

// What the platform offers: the default face's count, and each face's
// entries. The IServer face decides its count itself and hands out the
// host's description only once it has accepted it
// (frame/server_dispatch_host.h); this gives that description as found.
UINT default_type_info_count() noexcept;
HRESULT face_type_info(Face face, UINT index, LCID lcid, ITypeInfo** info) noexcept;

}  // namespace orvanta
