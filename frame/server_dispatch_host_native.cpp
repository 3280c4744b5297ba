// Without the platform's type information the class's own table always
// serves, and the face offers no type information.
#ifndef _WIN32
#  include "frame/server_dispatch_host.h"

namespace orvanta {

bool HostDispatch::serves(OwnMemberCheck) noexcept { return false; }

HRESULT HostDispatch::type_info(ITypeInfo**) noexcept { return E_UNEXPECTED; }

HRESULT HostDispatch::ids_of_names(LPOLESTR*, UINT, DISPID*) noexcept { return E_UNEXPECTED; }

HRESULT HostDispatch::invoke(IServer*, DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                             UINT*) noexcept
{
    return E_UNEXPECTED;
}

}  // namespace orvanta
#endif
