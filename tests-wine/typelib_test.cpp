// The module's registered type library as the platform's loader reports it:
// the library's attributes, its two types, and the class's second interface,
// which is a reference into the host's library TivDefn. Also the host
// library's IServer against the module's late binding and vtable.
#include "wine_support.h"

#include <algorithm>

using namespace wt;

namespace {

const SYSKIND kSyskind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
const SHORT kPointer = static_cast<SHORT>(sizeof(void*));

// The loader's view of the dispatch half of a dual interface: the stored
// flags without oleautomation.
constexpr WORD kDispatchFlags =
    TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;

const wchar_t* const kDispatchMembers[] = {
    L"QueryInterface", L"AddRef",        L"Release", L"GetTypeInfoCount",
    L"GetTypeInfo",    L"GetIDsOfNames", L"Invoke"};

// A type attribute block, released with its type information.
class Attributes {
public:
    explicit Attributes(ITypeInfo* info) : info_(info) { status_ = info->GetTypeAttr(&attr_); }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;
    ~Attributes()
    {
        if (attr_) info_->ReleaseTypeAttr(attr_);
    }
    HRESULT status() const { return status_; }
    const TYPEATTR* operator->() const { return attr_; }

private:
    ITypeInfo* info_;
    TYPEATTR* attr_ = nullptr;
    HRESULT status_;
};

std::wstring name_of(ITypeInfo* info, MEMBERID id = MEMBERID_NIL)
{
    BSTR name = nullptr;
    const HRESULT hr = info->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
    EXPECT_EQ(hr, S_OK) << hex(hr);
    std::wstring text = text_of(name);
    SysFreeString(name);
    return text;
}

class ModuleTypeLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        const HRESULT hr = LoadRegTypeLib(expected::kLibid, 1, 0, 0, library_.put());
        ASSERT_EQ(hr, S_OK) << "LoadRegTypeLib: " << hex(hr);
        ASSERT_EQ(library_->GetTypeInfoCount(), 2u);
        ASSERT_EQ(library_->GetTypeInfo(0, interface_.put()), S_OK);
        ASSERT_EQ(library_->GetTypeInfo(1, coclass_.put()), S_OK);
    }

    Ref<ITypeLib> library_;
    Ref<ITypeInfo> interface_;  // _CTivOrvantaZNA100
    Ref<ITypeInfo> coclass_;    // CTivOrvantaZNA100
};

TEST_F(ModuleTypeLibrary, LibraryAttributes)
{
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library_->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, expected::kLibid)) << printable(guid_text(attr->guid));
    EXPECT_EQ(attr->lcid, 0u);
    EXPECT_EQ(attr->syskind, kSyskind);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    // No flags of its own; Wine's loader adds the disk-image flag to every
    // library it reads from a file.
    EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    library_->ReleaseTLibAttr(attr);

    BSTR name = nullptr;
    BSTR doc = nullptr;
    DWORD context = 12345;
    BSTR help_file = nullptr;
    ASSERT_EQ(library_->GetDocumentation(-1, &name, &doc, &context, &help_file), S_OK);
    EXPECT_EQ(text_of(name), L"TivOrvantaZNA100");
    EXPECT_EQ(doc, nullptr) << printable(text_of(doc));
    EXPECT_EQ(context, 0u);
    EXPECT_EQ(help_file, nullptr) << printable(text_of(help_file));
    SysFreeString(name);
    SysFreeString(doc);
    SysFreeString(help_file);
}

TEST_F(ModuleTypeLibrary, TwoTypesInOrder)
{
    TYPEKIND kind = TKIND_MAX;
    ASSERT_EQ(library_->GetTypeInfoType(0, &kind), S_OK);
    EXPECT_EQ(kind, TKIND_DISPATCH);
    ASSERT_EQ(library_->GetTypeInfoType(1, &kind), S_OK);
    EXPECT_EQ(kind, TKIND_COCLASS);
    EXPECT_EQ(library_->GetTypeInfoType(2, &kind), TYPE_E_ELEMENTNOTFOUND);

    struct Doc {
        INT index;
        const wchar_t* name;
    };
    for (const Doc& d : {Doc{0, L"_CTivOrvantaZNA100"}, Doc{1, L"CTivOrvantaZNA100"}}) {
        BSTR name = nullptr;
        BSTR doc = nullptr;
        ASSERT_EQ(library_->GetDocumentation(d.index, &name, &doc, nullptr, nullptr), S_OK);
        EXPECT_EQ(text_of(name), d.name);
        EXPECT_EQ(doc, nullptr) << "no help string";
        SysFreeString(name);
        SysFreeString(doc);
    }

    Ref<ITypeInfo> by_guid;
    ASSERT_EQ(library_->GetTypeInfoOfGuid(expected::kDefaultIid, by_guid.put()), S_OK);
    EXPECT_EQ(name_of(by_guid.get()), L"_CTivOrvantaZNA100");
    ASSERT_EQ(library_->GetTypeInfoOfGuid(expected::kClsid, by_guid.put()), S_OK);
    EXPECT_EQ(name_of(by_guid.get()), L"CTivOrvantaZNA100");
    // IServer is described by the host's library only.
    EXPECT_EQ(library_->GetTypeInfoOfGuid(expected::kServerIid, by_guid.put()),
              TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(by_guid.get(), nullptr);

    std::wstring name = L"IServer";
    BOOL found = TRUE;
    EXPECT_EQ(library_->IsName(name.data(), 0, &found), S_OK);
    EXPECT_FALSE(found) << "the library holds no description of IServer";
}

TEST_F(ModuleTypeLibrary, TheDefaultInterfaceIsADualDispatchInterfaceWithoutMembers)
{
    Attributes attr(interface_.get());
    ASSERT_EQ(attr.status(), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    EXPECT_TRUE(IsEqualGUID(attr->guid, expected::kDefaultIid));
    EXPECT_EQ(attr->wTypeFlags, kDispatchFlags) << std::hex << attr->wTypeFlags;
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->cVars, 0);
    EXPECT_EQ(attr->cImplTypes, 1);
    EXPECT_EQ(attr->cbSizeVft, 7 * kPointer);
    EXPECT_EQ(attr->lcid, 0u);

    // Whatever functions the dispatch view lists are IDispatch's own.
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(interface_->GetFuncDesc(i, &f), S_OK);
        const std::wstring name = name_of(interface_.get(), f->memid);
        EXPECT_NE(std::find(std::begin(kDispatchMembers), std::end(kDispatchMembers), name),
                  std::end(kDispatchMembers))
            << printable(name);
        interface_->ReleaseFuncDesc(f);
    }
    std::wstring name = L"Name";
    LPOLESTR names[1] = {name.data()};
    MEMBERID id = 12345;
    EXPECT_EQ(interface_->GetIDsOfNames(names, 1, &id), DISP_E_UNKNOWNNAME);

    // It derives from IDispatch.
    HREFTYPE base = 0;
    ASSERT_EQ(interface_->GetRefTypeOfImplType(0, &base), S_OK);
    Ref<ITypeInfo> dispatch;
    ASSERT_EQ(interface_->GetRefTypeInfo(base, dispatch.put()), S_OK);
    Attributes dispatch_attr(dispatch.get());
    ASSERT_EQ(dispatch_attr.status(), S_OK);
    EXPECT_TRUE(IsEqualGUID(dispatch_attr->guid, IID_IDispatch))
        << printable(guid_text(dispatch_attr->guid));
}

TEST_F(ModuleTypeLibrary, TheInterfaceHalfOfTheDualInterface)
{
    HREFTYPE half = 0;
    ASSERT_EQ(interface_->GetRefTypeOfImplType(-1, &half), S_OK);
    Ref<ITypeInfo> vtable_view;
    ASSERT_EQ(interface_->GetRefTypeInfo(half, vtable_view.put()), S_OK);
    Attributes attr(vtable_view.get());
    ASSERT_EQ(attr.status(), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_TRUE(IsEqualGUID(attr->guid, expected::kDefaultIid));
    const WORD stored =
        TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;
    EXPECT_EQ(attr->wTypeFlags & stored, stored) << std::hex << attr->wTypeFlags;
    EXPECT_EQ(attr->cFuncs, 0) << "no functions of its own";
    EXPECT_EQ(attr->cVars, 0);
    EXPECT_EQ(attr->cImplTypes, 1);
    EXPECT_EQ(attr->cbSizeVft, 7 * kPointer) << "IDispatch's seven entries and nothing after";
    EXPECT_EQ(name_of(vtable_view.get()), L"_CTivOrvantaZNA100");
}

TEST_F(ModuleTypeLibrary, TheClass)
{
    Attributes attr(coclass_.get());
    ASSERT_EQ(attr.status(), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_TRUE(IsEqualGUID(attr->guid, expected::kClsid));
    EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FCANCREATE) << std::hex << attr->wTypeFlags;
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->cFuncs, 0);
    EXPECT_EQ(attr->cVars, 0);
    ASSERT_EQ(attr->cImplTypes, 2);

    INT flags = -1;
    ASSERT_EQ(coclass_->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    ASSERT_EQ(coclass_->GetImplTypeFlags(1, &flags), S_OK);
    EXPECT_EQ(flags, 0) << "IServer carries no marks: not default, not a source";

    HREFTYPE first = 0;
    ASSERT_EQ(coclass_->GetRefTypeOfImplType(0, &first), S_OK);
    Ref<ITypeInfo> default_interface;
    ASSERT_EQ(coclass_->GetRefTypeInfo(first, default_interface.put()), S_OK);
    Attributes default_attr(default_interface.get());
    ASSERT_EQ(default_attr.status(), S_OK);
    EXPECT_TRUE(IsEqualGUID(default_attr->guid, expected::kDefaultIid));
    EXPECT_EQ(name_of(default_interface.get()), L"_CTivOrvantaZNA100");

    HREFTYPE invalid = 0;
    EXPECT_EQ(coclass_->GetRefTypeOfImplType(2, &invalid), TYPE_E_ELEMENTNOTFOUND);
}

TEST_F(ModuleTypeLibrary, IServerIsResolvedFromTheHostLibraryOnlyWhenItIsRegistered)
{
    ASSERT_FALSE(host_library_registered())
        << "TivDefn is registered on this machine; run in a fresh prefix";
    HREFTYPE second = 0;
    ASSERT_EQ(coclass_->GetRefTypeOfImplType(1, &second), S_OK);
    {
        Ref<ITypeInfo> server;
        const HRESULT hr = coclass_->GetRefTypeInfo(second, server.put());
        EXPECT_TRUE(FAILED(hr)) << "resolved without the host's library: " << hex(hr);
        EXPECT_EQ(server.get(), nullptr);
    }

    RegisteredHostLibrary host;
    ASSERT_EQ(host.status(), S_OK) << hex(host.status());
    Ref<ITypeInfo> server;
    ASSERT_EQ(coclass_->GetRefTypeInfo(second, server.put()), S_OK);
    Attributes attr(server.get());
    ASSERT_EQ(attr.status(), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, expected::kServerIid)) << printable(guid_text(attr->guid));
    EXPECT_EQ(name_of(server.get()), L"IServer");

    Ref<ITypeLib> container;
    UINT index = 0;
    ASSERT_EQ(server->GetContainingTypeLib(container.put(), &index), S_OK);
    TLIBATTR* lib = nullptr;
    ASSERT_EQ(container->GetLibAttr(&lib), S_OK);
    EXPECT_TRUE(IsEqualGUID(lib->guid, expected::kHostLibid)) << printable(guid_text(lib->guid));
    EXPECT_EQ(lib->wMajorVerNum, expected::kHostLibMajor);
    EXPECT_EQ(lib->wMinorVerNum, expected::kHostLibMinor);
    container->ReleaseTLibAttr(lib);
}

// ---- the host library's IServer against the module ----

class HostServerInterface : public ModuleTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(host_.status(), S_OK) << hex(host_.status());
        Ref<ITypeLib> library;
        HRESULT hr = LoadRegTypeLib(expected::kHostLibid, expected::kHostLibMajor,
                                    expected::kHostLibMinor, 0, library.put());
        ASSERT_EQ(hr, S_OK) << hex(hr);
        ASSERT_EQ(library->GetTypeInfoOfGuid(expected::kServerIid, declared_.put()), S_OK);
        // The vtable view, whichever view the library hands out first.
        Attributes attr(declared_.get());
        ASSERT_EQ(attr.status(), S_OK);
        if (attr->typekind == TKIND_DISPATCH) {
            HREFTYPE half = 0;
            ASSERT_EQ(declared_->GetRefTypeOfImplType(-1, &half), S_OK) << "IServer is dual";
            ASSERT_EQ(declared_->GetRefTypeInfo(half, vtable_view_.put()), S_OK);
        } else {
            ASSERT_EQ(declared_->QueryInterface(IID_ITypeInfo, vtable_view_.put_void()), S_OK);
        }
    }
    void TearDown() override
    {
        vtable_view_.reset();
        declared_.reset();
        ModuleTest::TearDown();
    }

    RegisteredHostLibrary host_;
    Ref<ITypeInfo> declared_;
    Ref<ITypeInfo> vtable_view_;
};

TEST_F(HostServerInterface, NineMembersInOrderWithIdentifiersOneToNine)
{
    Attributes attr(vtable_view_.get());
    ASSERT_EQ(attr.status(), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    ASSERT_EQ(attr->cFuncs, 9);
    EXPECT_EQ(attr->cbSizeVft, 16 * kPointer);

    for (UINT i = 0; i < 9; ++i) {
        const expected::ServerMember& m = expected::kServerMembers[i];
        SCOPED_TRACE(printable(m.name));
        FUNCDESC* f = nullptr;
        ASSERT_EQ(vtable_view_->GetFuncDesc(i, &f), S_OK);
        EXPECT_EQ(f->memid, static_cast<MEMBERID>(i + 1));
        EXPECT_EQ(name_of(vtable_view_.get(), f->memid), as_text(m.name));
        EXPECT_EQ(f->oVft, static_cast<SHORT>((7 + i) * sizeof(void*))) << "vtable slot " << 7 + i;
        EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(f->invkind, m.property ? INVOKE_PROPERTYGET : INVOKE_FUNC);
        EXPECT_EQ(f->callconv, CC_STDCALL);
        EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT);
        // The arguments, then the result.
        ASSERT_EQ(f->cParams, static_cast<SHORT>(m.arguments + 1));
        const USHORT last = f->lprgelemdescParam[f->cParams - 1].paramdesc.wParamFlags;
        EXPECT_EQ(last, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
        for (UINT a = 0; a < m.arguments; ++a)
            EXPECT_EQ(f->lprgelemdescParam[a].tdesc.vt, VT_PTR)
                << "argument " << a << " is by reference";
        vtable_view_->ReleaseFuncDesc(f);
    }
}

TEST_F(HostServerInterface, TheModuleLateBindsTheSameIdentifiers)
{
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    for (UINT i = 0; i < 9; ++i) {
        const expected::ServerMember& m = expected::kServerMembers[i];
        SCOPED_TRACE(printable(m.name));
        std::wstring name = as_text(m.name);
        LPOLESTR names[1] = {name.data()};
        MEMBERID declared = 0;
        ASSERT_EQ(declared_->GetIDsOfNames(names, 1, &declared), S_OK);
        HRESULT hr = E_FAIL;
        const DISPID offered = id_of_name(server.get(), name.c_str(), &hr);
        ASSERT_EQ(hr, S_OK);
        EXPECT_EQ(offered, declared);
    }
    EXPECT_EQ(refcount(server.get()), 1u);
}

// A client driven by type information calls through the declared vtable
// offsets; the module's vtable must answer there. The offsets are checked
// first: a call through a wrong offset would end the whole program.
TEST_F(HostServerInterface, CallsAtTheDeclaredVtableOffsetsReachTheRightOperations)
{
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    const std::u16string_view texts[] = {expected::kName, expected::kReleaseNumber,
                                         expected::kDescription, expected::kServerGuid};
    ULONG_PTR offsets[9] = {};
    for (UINT i = 0; i < 9; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(vtable_view_->GetFuncDesc(i, &f), S_OK);
        offsets[i] = static_cast<ULONG_PTR>(f->oVft);
        vtable_view_->ReleaseFuncDesc(f);
        ASSERT_EQ(offsets[i], (7 + i) * sizeof(void*))
            << printable(expected::kServerMembers[i].name)
            << ": the host library declares another slot";
    }
    auto offset_of = [&](UINT index) { return offsets[index]; };
    auto call_for_text = [&](UINT index) {
        BSTR text = nullptr;
        VARIANT out;
        VariantInit(&out);
        out.vt = VT_BYREF | VT_BSTR;
        out.pbstrVal = &text;
        VARTYPE types[1] = {out.vt};
        VARIANTARG* args[1] = {&out};
        VARIANT status;
        VariantInit(&status);
        const HRESULT hr = DispCallFunc(server.get(), offset_of(index), CC_STDCALL, VT_ERROR, 1,
                                        types, args, &status);
        EXPECT_EQ(hr, S_OK) << hex(hr);
        EXPECT_EQ(status.scode, S_OK) << hex(status.scode);
        std::wstring result = text_of(text);
        SysFreeString(text);
        return result;
    };
    for (UINT i = 0; i < 4; ++i)
        EXPECT_EQ(call_for_text(i), as_text(texts[i]))
            << printable(expected::kServerMembers[i].name);
    EXPECT_EQ(call_for_text(8), as_text(expected::kServerCategory));

    // GetMaximumLimit: two arguments by reference and the result.
    Bstr guid(expected::kLimitRows[1].guid);
    BSTR guid_variable = guid.get();
    VARIANT_BOOL family_total = VARIANT_FALSE;
    LONG maximum = 0;
    VARIANT a0 = string_reference(&guid_variable);
    VARIANT a1 = bool_reference(&family_total);
    VARIANT a2;
    VariantInit(&a2);
    a2.vt = VT_BYREF | VT_I4;
    a2.plVal = &maximum;
    VARTYPE types[3] = {a0.vt, a1.vt, a2.vt};
    VARIANTARG* args[3] = {&a0, &a1, &a2};
    VARIANT status;
    VariantInit(&status);
    ASSERT_EQ(
        DispCallFunc(server.get(), offset_of(7), CC_STDCALL, VT_ERROR, 3, types, args, &status),
        S_OK);
    EXPECT_EQ(status.scode, S_OK);
    EXPECT_EQ(family_total, VARIANT_TRUE);
    EXPECT_EQ(maximum, 255);

    // DefaultComponents: a collection owned by the caller.
    _Collection* list = nullptr;
    VARIANT c0;
    VariantInit(&c0);
    c0.vt = VT_BYREF | VT_DISPATCH;
    c0.ppdispVal = reinterpret_cast<IDispatch**>(&list);
    VARTYPE list_types[1] = {c0.vt};
    VARIANTARG* list_args[1] = {&c0};
    ASSERT_EQ(DispCallFunc(server.get(), offset_of(4), CC_STDCALL, VT_ERROR, 1, list_types,
                           list_args, &status),
              S_OK);
    EXPECT_EQ(status.scode, S_OK);
    ASSERT_NE(list, nullptr);
    Ref<_Collection> owned = Ref<_Collection>::adopt(list);
    EXPECT_EQ(refcount(owned.get()), 1u);
    EXPECT_EQ(count_of(owned.get()), 96);
    EXPECT_EQ(refcount(server.get()), 1u);
}

}  // namespace
