// The automation runtime as the module sees it: the platform's own headers on
// Windows, our stand-in with the same names and layouts elsewhere.
#pragma once

#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#  include <ole2.h>
#  include <oleauto.h>
#  define RT_EXPORT
#else
#  include "standin/oaidl.h"
#endif
