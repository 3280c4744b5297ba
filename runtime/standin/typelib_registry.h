// Stand-in for the platform's registration of type libraries, over the
// stand-in registry. The stand-in has no type-library loader, so where the
// platform's RegisterTypeLib reads a loaded library, RegisterTypeLibEntries
// takes what it would read: the library's attributes, its registered name and
// the interfaces it registers. It then writes exactly the keys the platform
// writes, in HKEY_CLASSES_ROOT, versions and locales in hexadecimal:
//
//   TypeLib\{libid}\<major>.<minor>               (default) name
//   TypeLib\{libid}\<major>.<minor>\<lcid>\<win16|win32|win64>  (default) path
//   TypeLib\{libid}\<major>.<minor>\FLAGS         (default) library flags, decimal
//   TypeLib\{libid}\<major>.<minor>\HELPDIR       (default) help directory
//   Interface\{iid}                               (default) interface name
//   Interface\{iid}\ProxyStubClsid                (default) {00020424-0000-0000-C000-000000000046}
//   Interface\{iid}\ProxyStubClsid32              (default) the same
//   Interface\{iid}\TypeLib                       (default) {libid}, Version <major>.<minor>
//
// HELPDIR follows the platform: a given help directory is written; without
// one, a newly created HELPDIR gets the library file's folder and an existing
// one is left alone.
#pragma once

#include "registry.h"

enum SYSKIND { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 };

struct TLIBATTR {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    WORD wLibFlags;
};

#define TYPE_E_REGISTRYACCESS ((HRESULT)0x8002801C)
#define TYPE_E_INVALIDSTATE ((HRESULT)0x80028029)

// An interface the platform registers with its library: every dispatch
// interface, and every interface marked oleautomation or dual.
struct RegisteredInterface {
    GUID iid;
    const OLECHAR* name;
};

// What RegisterTypeLib reads from a loaded library.
struct TypeLibEntries {
    TLIBATTR attributes;
    const OLECHAR* name;  // the library's help string, or its name when it has none
    const RegisteredInterface* interfaces;
    UINT interface_count;
};

extern "C" {

// The platform's RegisterTypeLib for the library `entries` describes.
// E_INVALIDARG for a missing path or a system kind other than win16, win32 or
// win64; TYPE_E_REGISTRYACCESS when a key of the library cannot be written.
HRESULT RegisterTypeLibEntries(const TypeLibEntries* entries, const OLECHAR* szFullPath,
                               const OLECHAR* szHelpDir);

// The platform's UnRegisterTypeLib: reads the library registered for this
// version, locale and system kind, removes the keys of the interfaces it
// declares and its path key, and then the library's locale, version and
// identifier keys when nothing else remains in them. E_INVALIDARG when the
// library is not registered so, as the platform answers; TYPE_E_INVALIDSTATE
// when the registered library cannot be read: the stand-in reads only the
// libraries registered through it in this process, by their paths;
// TYPE_E_REGISTRYACCESS when the path key cannot be removed.
HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                          SYSKIND syskind);

// The registry form of a GUID, {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} in
// upper case, as the platform's StringFromGUID2 writes it: the number of
// units written with the terminating zero (39), or 0 when cchMax is smaller.
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);

}  // extern "C"
