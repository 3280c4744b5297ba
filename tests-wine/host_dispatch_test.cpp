// Late binding on the IServer face follows the host's library: while a
// TivDefn 34.2 that numbers IServer's members its own way is registered
// (TivDefnRenumbered.tlb, built for these tests only), the face's type
// information, names, identifiers, calls and failures are that library's.
// Instances that made their first dispatch call without it, and instances
// facing a library that describes anything other than what the face does,
// offer no type information and answer from the class's own table.
#include "wine_support.h"

#include <optional>

using namespace wt;

namespace {

// The identifiers TivDefnRenumbered.idl gives IServer's members.
enum Renumbered : DISPID {
    kName = 0x60030004,
    kReleaseNumber = 0x60030002,
    kDescription = 0x60030007,
    kServerGUID = 0x60030001,
    kDefaultComponents = 0x60030008,
    kIsAttachable = 0x60030003,
    kGetAttachableGUIDs = 0x60030006,
    kGetMaximumLimit = 0x60030000,
    kServerCategory = 0x60030005,
};
// In the order of expected::kServerMembers (the vtable's order).
constexpr DISPID kRenumberedIds[9] = {
    kName,         kReleaseNumber,      kDescription,     kServerGUID,    kDefaultComponents,
    kIsAttachable, kGetAttachableGUIDs, kGetMaximumLimit, kServerCategory};

constexpr const wchar_t* kSource = L"TivOrvantaZNA100.CTivOrvantaZNA100";

constexpr const wchar_t* kRenumberedFile = L"TivDefnRenumbered.tlb";
// The same with Name and ReleaseNumber in each other's vtable entries.
constexpr const wchar_t* kSwappedFile = L"TivDefnSwapped.tlb";

std::wstring renumbered_library_path() { return program_folder() + kRenumberedFile; }

// What an instance's type information describes is what its name lookup
// gives: the renumbered library's identifiers, or no type information at all
// and the class's own identifiers 1 to 9.
void expect_type_information_agrees(IServer* server, bool renumbered)
{
    UINT count = 12345;
    ASSERT_EQ(server->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, renumbered ? 1u : 0u);
    Ref<ITypeInfo> info;
    EXPECT_EQ(server->GetTypeInfo(0, 0, info.put()), renumbered ? S_OK : DISP_E_BADINDEX);
    ASSERT_EQ(static_cast<bool>(info), renumbered);
    for (UINT i = 0; i < 9; ++i) {
        std::wstring name = as_text(expected::kServerMembers[i].name);
        const DISPID want = renumbered ? kRenumberedIds[i] : static_cast<DISPID>(i + 1);
        HRESULT hr = E_FAIL;
        EXPECT_EQ(id_of_name(server, name.c_str(), &hr), want) << printable(name);
        EXPECT_EQ(hr, S_OK);
        if (!info) continue;
        LPOLESTR names[1] = {name.data()};
        MEMBERID described = 0;
        EXPECT_EQ(info->GetIDsOfNames(names, 1, &described), S_OK);
        EXPECT_EQ(described, want) << printable(name);
    }
}

HRESULT register_library(const std::wstring& path)
{
    Ref<ITypeLib> library;
    const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
    if (FAILED(hr)) return hr;
    std::wstring copy = path;
    return RegisterTypeLib(library.get(), copy.data(), nullptr);
}

std::wstring registered_host_path()
{
    BSTR path = nullptr;
    const HRESULT hr = QueryPathOfRegTypeLib(expected::kHostLibid, expected::kHostLibMajor,
                                             expected::kHostLibMinor, 0, &path);
    std::wstring text = hr == S_OK ? std::wstring(path, SysStringLen(path)) : std::wstring();
    SysFreeString(path);
    return text;
}

// TivDefnRenumbered.tlb (or another file beside the test program) registered
// as TivDefn 34.2 for as long as the object lives. Whatever was registered
// under that name before (the stand-in of an earlier test, a real host's
// library) is registered again afterwards.
class RenumberedHostLibrary {
public:
    explicit RenumberedHostLibrary(const wchar_t* file = kRenumberedFile)
        : path_(program_folder() + file), previous_(registered_host_path())
    {
        status_ = register_library(path_);
    }
    RenumberedHostLibrary(const RenumberedHostLibrary&) = delete;
    RenumberedHostLibrary& operator=(const RenumberedHostLibrary&) = delete;
    ~RenumberedHostLibrary()
    {
        if (FAILED(status_)) return;
        const SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
        EXPECT_EQ(UnRegisterTypeLib(expected::kHostLibid, expected::kHostLibMajor,
                                    expected::kHostLibMinor, 0, kind),
                  S_OK);
        if (previous_.empty()) {
            EXPECT_FALSE(host_library_registered()) << "the renumbered library is still registered";
        } else {
            EXPECT_EQ(register_library(previous_), S_OK)
                << "registering " << printable(previous_) << " again";
        }
    }
    HRESULT status() const { return status_; }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    std::wstring previous_;
    HRESULT status_ = E_FAIL;
};

class RenumberedHost : public ModuleTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(library_.status(), S_OK)
            << hex(library_.status()) << " registering " << printable(library_.path());
        server_ = create_server();
        ASSERT_TRUE(server_);
    }
    void TearDown() override
    {
        if (server_) {
            EXPECT_EQ(refcount(server_.get()), 1u) << "a call kept or dropped a reference";
        }
        server_.reset();
        ModuleTest::TearDown();
    }

    RenumberedHostLibrary library_;
    Ref<IServer> server_;
};

TEST_F(RenumberedHost, NamesGiveTheLibrarysIdentifiersAsItsTypeInformationDoes)
{
    Ref<ITypeInfo> info;
    ASSERT_EQ(server_->GetTypeInfo(0, 0, info.put()), S_OK);
    ASSERT_TRUE(info);
    for (UINT i = 0; i < 9; ++i) {
        std::wstring name = as_text(expected::kServerMembers[i].name);
        SCOPED_TRACE(printable(name));
        LPOLESTR names[1] = {name.data()};
        MEMBERID described = 0;
        ASSERT_EQ(info->GetIDsOfNames(names, 1, &described), S_OK);
        EXPECT_EQ(described, kRenumberedIds[i]);

        HRESULT hr = E_FAIL;
        EXPECT_EQ(id_of_name(server_.get(), name.c_str(), &hr), kRenumberedIds[i]);
        EXPECT_EQ(hr, S_OK);
        std::wstring upper = name;
        for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
        EXPECT_EQ(id_of_name(server_.get(), upper.c_str(), &hr), kRenumberedIds[i]);
        EXPECT_EQ(hr, S_OK);
    }
    for (const wchar_t* unknown : {L"Nothing", L"Item", L"Count", L"Name2", L""}) {
        HRESULT hr = S_OK;
        EXPECT_EQ(id_of_name(server_.get(), unknown, &hr), DISPID_UNKNOWN) << printable(unknown);
        EXPECT_EQ(hr, DISP_E_UNKNOWNNAME) << printable(unknown);
    }
    info.reset();
    EXPECT_EQ(refcount(server_.get()), 1u);
}

TEST_F(RenumberedHost, PropertiesAndTextMethodsAnswerToTheLibrarysIdentifiers)
{
    const TextMemberCall calls[] = {
        {kName, DISPATCH_PROPERTYGET, expected::kName},
        {kName, kEitherWay, expected::kName},
        {kReleaseNumber, DISPATCH_PROPERTYGET, expected::kReleaseNumber},
        {kDescription, kEitherWay, expected::kDescription},
        {kServerGUID, DISPATCH_PROPERTYGET, expected::kServerGuid},
        {kServerCategory, DISPATCH_METHOD, expected::kServerCategory},
        {kServerCategory, kEitherWay, expected::kServerCategory},
    };
    for (const TextMemberCall& m : calls) {
        SCOPED_TRACE("member " + std::to_string(m.id) + ", flags " + std::to_string(m.flags));
        CallResult r;
        invoke(server_.get(), m.id, m.flags, {}, r);
        ASSERT_EQ(r.status, S_OK) << hex(r.status);
        ASSERT_EQ(r.result->vt, VT_BSTR);
        EXPECT_EQ(text_of(r.result->bstrVal), as_text(m.text));
        EXPECT_EQ(refcount(server_.get()), 1u);
    }
    // The class's own identifiers name nothing in this library.
    for (DISPID id = 1; id <= 9; ++id) {
        CallResult r;
        invoke(server_.get(), id, kEitherWay, {}, r);
        EXPECT_EQ(r.status, DISP_E_MEMBERNOTFOUND) << id << " " << hex(r.status);
        EXPECT_EQ(r.result->vt, VT_EMPTY);
    }
}

TEST_F(RenumberedHost, GetMaximumLimitWritesFamilyTotalBack)
{
    for (const expected::LimitRow& row : expected::kLimitRows) {
        SCOPED_TRACE(printable(row.guid));
        Bstr guid(row.guid);
        BSTR by_reference = guid.get();
        for (VARIANT component : {string_value(guid.get()), string_reference(&by_reference)}) {
            VARIANT_BOOL family_total = row.family_total ? VARIANT_FALSE : VARIANT_TRUE;
            CallResult r;
            invoke(server_.get(), kGetMaximumLimit, DISPATCH_METHOD,
                   {component, bool_reference(&family_total)}, r);
            ASSERT_EQ(r.status, S_OK) << hex(r.status);
            ASSERT_EQ(r.result->vt, VT_I4);
            EXPECT_EQ(r.result->lVal, row.maximum);
            EXPECT_EQ(family_total, row.family_total ? VARIANT_TRUE : VARIANT_FALSE);
        }
        EXPECT_EQ(by_reference, guid.get()) << "the caller's string was replaced";
    }
    Bstr unknown(L"{e2657b80-7f5b-11d2-bf88-00c04f79999c}");
    VARIANT_BOOL family_total = VARIANT_TRUE;
    CallResult r;
    invoke(server_.get(), kGetMaximumLimit, DISPATCH_METHOD,
           {string_value(unknown.get()), bool_reference(&family_total)}, r);
    ASSERT_EQ(r.status, S_OK) << hex(r.status);
    ASSERT_EQ(r.result->vt, VT_I4);
    EXPECT_EQ(r.result->lVal, -1);
    EXPECT_EQ(family_total, VARIANT_FALSE);
}

TEST_F(RenumberedHost, CollectionAndAttachmentMembers)
{
    {
        CallResult r;
        invoke(server_.get(), kDefaultComponents, DISPATCH_METHOD, {}, r);
        ASSERT_EQ(r.status, S_OK) << hex(r.status);
        ASSERT_EQ(r.result->vt, VT_DISPATCH);
        ASSERT_NE(r.result->pdispVal, nullptr);
        EXPECT_EQ(refcount(r.result->pdispVal), 1u) << "the result holds the only reference";
        Ref<_Collection> list;
        ASSERT_EQ(r.result->pdispVal->QueryInterface(expected::kCollectionIid, list.put_void()),
                  S_OK);
        EXPECT_EQ(items_by_position(list.get()), expected_catalogue());
    }
    Bstr parent(expected::kCatalogue[0]);
    Bstr attachment(expected::kCatalogue[1]);
    {
        CallResult r;
        invoke(server_.get(), kIsAttachable, DISPATCH_METHOD,
               {string_value(parent.get()), string_value(attachment.get())}, r);
        ASSERT_EQ(r.status, S_OK) << hex(r.status);
        ASSERT_EQ(r.result->vt, VT_I4);
        EXPECT_EQ(r.result->lVal, expected::kAttachNoList);
    }
    {
        CallResult r;
        invoke(server_.get(), kGetAttachableGUIDs, DISPATCH_METHOD, {string_value(parent.get())},
               r);
        ASSERT_EQ(r.status, S_OK) << hex(r.status);
        EXPECT_EQ(r.result->vt, VT_DISPATCH);  // no list: the null object reference
        EXPECT_EQ(r.result->pdispVal, nullptr);
    }
}

TEST_F(RenumberedHost, MalformedCallsAreRefused)
{
    {
        Variant result;
        DISPPARAMS no_array{nullptr, nullptr, 2, 0};
        EXPECT_EQ(server_->Invoke(kGetMaximumLimit, IID_NULL, 0, DISPATCH_METHOD, &no_array,
                                  result.put(), nullptr, nullptr),
                  E_INVALIDARG);
        EXPECT_EQ(server_->Invoke(kGetMaximumLimit, IID_NULL, 0, DISPATCH_METHOD, nullptr,
                                  result.put(), nullptr, nullptr),
                  E_INVALIDARG);
        DISPPARAMS none{};
        EXPECT_EQ(server_->Invoke(kName, expected::kServerIid, 0, DISPATCH_PROPERTYGET, &none,
                                  result.put(), nullptr, nullptr),
                  DISP_E_UNKNOWNINTERFACE);
        EXPECT_EQ(result->vt, VT_EMPTY);
    }
    {
        CallResult r;  // one argument too few
        invoke(server_.get(), kGetMaximumLimit, DISPATCH_METHOD, {}, r);
        EXPECT_EQ(r.status, DISP_E_BADPARAMCOUNT) << hex(r.status);
    }
    {
        Bstr extra(L"x");
        CallResult r;  // one argument too many
        invoke(server_.get(), kServerCategory, DISPATCH_METHOD, {string_value(extra.get())}, r);
        EXPECT_EQ(r.status, DISP_E_BADPARAMCOUNT) << hex(r.status);
    }
    {
        CallResult r;  // a property cannot be written
        invoke(server_.get(), kName, DISPATCH_PROPERTYPUT, {}, r);
        EXPECT_EQ(r.status, DISP_E_MEMBERNOTFOUND) << hex(r.status);
    }
}

// A failing operation reached through the library reports as through the
// class's own table: DISP_E_EXCEPTION with the operation's status, the
// class's source and the description of its error object; an empty result;
// the error object still there for a client that asks ISupportErrorInfo
// first; and the status itself to a caller without an EXCEPINFO.
TEST_F(RenumberedHost, FailuresReportTheOperationsStatusAndDescription)
{
    Bstr guid(expected::kLimitRows[0].guid);
    BSTR* no_string = nullptr;
    struct Case {
        const char* name;
        DISPID id;
        std::vector<VARIANT> args;
        const wchar_t* description;
    };
    const Case cases[] = {
        {"GetMaximumLimit without FamilyTotal",
         kGetMaximumLimit,
         {string_value(guid.get()), bool_reference(nullptr)},
         L"IServer.GetMaximumLimit (vtable index 14) failed with status 0x80004003"},
        {"IsAttachable without a parent",
         kIsAttachable,
         {string_reference(no_string), string_value(guid.get())},
         L"IServer.IsAttachable (vtable index 12) failed with status 0x80004003"},
        {"GetAttachableGUIDs without a parent",
         kGetAttachableGUIDs,
         {string_reference(no_string)},
         L"IServer.GetAttachableGUIDs (vtable index 13) failed with status 0x80004003"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CallResult r;
        invoke(server_.get(), c.id, DISPATCH_METHOD, c.args, r);
        EXPECT_EQ(r.status, DISP_E_EXCEPTION) << hex(r.status);
        EXPECT_EQ(r.exception.scode, E_POINTER) << hex(r.exception.scode);
        EXPECT_EQ(r.exception.wCode, 0);
        EXPECT_EQ(text_of(r.exception.bstrSource), kSource);
        EXPECT_EQ(text_of(r.exception.bstrDescription), c.description);
        EXPECT_EQ(r.exception.bstrHelpFile, nullptr);
        EXPECT_EQ(r.result->vt, VT_EMPTY);

        Ref<ISupportErrorInfo> support;
        ASSERT_EQ(server_->QueryInterface(IID_ISupportErrorInfo, support.put_void()), S_OK);
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(expected::kServerIid), S_OK);
        support.reset();
        Ref<IErrorInfo> error;
        ASSERT_EQ(GetErrorInfo(0, error.put()), S_OK) << "no error object after the call";
        Bstr description;
        Bstr source;
        error->GetDescription(description.put());
        error->GetSource(source.put());
        EXPECT_EQ(text_of(description.get()), c.description);
        EXPECT_EQ(text_of(source.get()), kSource);

        // Without an EXCEPINFO the status itself.
        std::vector<VARIANT> args(c.args.rbegin(), c.args.rend());
        DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        Variant result;
        EXPECT_EQ(server_->Invoke(c.id, IID_NULL, 0, DISPATCH_METHOD, &params, result.put(),
                                  nullptr, nullptr),
                  E_POINTER);
        EXPECT_EQ(result->vt, VT_EMPTY);
        EXPECT_EQ(refcount(server_.get()), 1u);
    }
    // The early-bound call publishes the very same description.
    LONG maximum = 12345;
    BSTR component = guid.get();
    EXPECT_EQ(server_->GetMaximumLimit(&component, nullptr, &maximum), E_POINTER);
    Ref<IErrorInfo> error;
    ASSERT_EQ(GetErrorInfo(0, error.put()), S_OK);
    Bstr description;
    error->GetDescription(description.put());
    EXPECT_EQ(text_of(description.get()), cases[0].description);
}

// The choice is made per instance, at the first call of any of its four
// dispatch entries, and kept: registering or unregistering the library
// changes what new instances answer, never the type information or the
// identifiers an instance has already handed out.
class HostLibraryChoice : public ModuleTest {};

TEST_F(HostLibraryChoice, RegisteringOrUnregisteringAffectsNewInstances)
{
    ASSERT_FALSE(host_library_registered()) << "TivDefn is registered; run in a fresh prefix";
    HRESULT hr = E_FAIL;
    Ref<IServer> before = create_server();
    ASSERT_TRUE(before);
    ASSERT_EQ(id_of_name(before.get(), L"GetMaximumLimit", &hr), 8);
    // Created now, its first dispatch call comes once the library is registered.
    Ref<IServer> early = create_server();
    ASSERT_TRUE(early);

    Ref<IServer> during;
    {
        std::optional<RenumberedHostLibrary> library(std::in_place);
        ASSERT_EQ(library->status(), S_OK) << hex(library->status());
        during = create_server();
        ASSERT_TRUE(during);
        // Each of the four entries may come first.
        Ref<ITypeInfo> info;
        EXPECT_EQ(during->GetTypeInfo(0, 0, info.put()), S_OK);
        UINT count = 0;
        EXPECT_EQ(early->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 1u);
        SCOPED_TRACE("while the library is registered");
        expect_type_information_agrees(during.get(), true);
        expect_type_information_agrees(early.get(), true);
        expect_type_information_agrees(before.get(), false);
    }
    Ref<IServer> after = create_server();
    ASSERT_TRUE(after);
    // The library unregistered after the choice: its description stays the
    // instance's, as its identifiers do.
    SCOPED_TRACE("after the library is unregistered");
    expect_type_information_agrees(after.get(), false);
    expect_type_information_agrees(during.get(), true);
    expect_type_information_agrees(early.get(), true);
    expect_type_information_agrees(before.get(), false);

    // Each instance's identifiers keep working on it.
    const std::pair<IServer*, DISPID> calls[] = {
        {before.get(), 1}, {during.get(), kName}, {after.get(), 1}};
    for (const auto& [object, id] : calls) {
        CallResult r;
        invoke(object, id, DISPATCH_PROPERTYGET, {}, r);
        ASSERT_EQ(r.status, S_OK) << id << " " << hex(r.status);
        ASSERT_EQ(r.result->vt, VT_BSTR);
        EXPECT_EQ(text_of(r.result->bstrVal), as_text(expected::kName));
    }
    {
        CallResult r;
        invoke(after.get(), kName, DISPATCH_PROPERTYGET, {}, r);
        EXPECT_EQ(r.status, DISP_E_MEMBERNOTFOUND) << hex(r.status);
    }
    for (IServer* object : {before.get(), early.get(), during.get(), after.get()})
        EXPECT_EQ(refcount(object), 1u);
}

// A library registered before (here the stand-in TivDefn.tlb) is registered
// again afterwards, and new instances follow it.
TEST_F(HostLibraryChoice, TheLibraryRegisteredBeforeComesBack)
{
    RegisteredHostLibrary stand_in;
    ASSERT_EQ(stand_in.status(), S_OK) << hex(stand_in.status());
    const std::wstring before = registered_host_path();
    ASSERT_FALSE(before.empty());
    HRESULT hr = E_FAIL;
    {
        RenumberedHostLibrary renumbered;
        ASSERT_EQ(renumbered.status(), S_OK) << hex(renumbered.status());
        EXPECT_EQ(registered_host_path(), renumbered_library_path());
        Ref<IServer> server = create_server();
        ASSERT_TRUE(server);
        EXPECT_EQ(id_of_name(server.get(), L"ServerCategory", &hr), kServerCategory);
    }
    EXPECT_EQ(registered_host_path(), before);
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    Ref<ITypeInfo> info;
    ASSERT_EQ(server->GetTypeInfo(0, 0, info.put()), S_OK);
    std::wstring name = L"ServerCategory";
    LPOLESTR names[1] = {name.data()};
    MEMBERID described = 0;
    ASSERT_EQ(info->GetIDsOfNames(names, 1, &described), S_OK);
    EXPECT_EQ(described, 9);
    EXPECT_EQ(id_of_name(server.get(), name.c_str(), &hr), 9);
    EXPECT_EQ(hr, S_OK);
    info.reset();
    EXPECT_EQ(refcount(server.get()), 1u);
}

// A library is used only if it describes exactly what the face does; each
// of these differs from the renumbered one in one respect. Whatever is
// refused, the class's own table answers every call right, and nothing of
// the library is handed out.
TEST_F(HostLibraryChoice, OnlyALibraryThatDescribesTheFaceIsUsed)
{
    const struct {
        const wchar_t* file;
        bool used;
    } libraries[] = {
        {kSwappedFile, false},                         // two vtable entries swapped
        {L"TivDefnNameAsVariant.tlb", false},          // Name's result a VARIANT
        {L"TivDefnLimitArgumentsSwapped.tlb", false},  // GetMaximumLimit's arguments swapped
        {L"TivDefnAttachmentAsVariant.tlb", false},    // an argument of another type
        {L"TivDefnCategoryWithoutRetval.tlb", false},  // a result without retval
        {L"TivDefnExtraOptional.tlb", false},          // an optional parameter more
        {L"TivDefnFamilyTotalIn.tlb", false},          // the written argument only [in]
        {L"TivDefnReadInOutWrittenOut.tlb", true},     // [in, out] read, [out] written
    };
    for (const auto& library : libraries) {
        SCOPED_TRACE(printable(library.file));
        RenumberedHostLibrary registered(library.file);
        ASSERT_EQ(registered.status(), S_OK) << hex(registered.status());
        Ref<IServer> server = create_server();
        ASSERT_TRUE(server);
        expect_type_information_agrees(server.get(), library.used);
        DISPID ids[9];
        for (UINT i = 0; i < 9; ++i)
            ids[i] = library.used ? kRenumberedIds[i] : static_cast<DISPID>(i + 1);

        CallResult name;
        invoke(server.get(), ids[0], DISPATCH_PROPERTYGET, {}, name);
        ASSERT_EQ(name.status, S_OK) << hex(name.status);
        ASSERT_EQ(name.result->vt, VT_BSTR);
        EXPECT_EQ(text_of(name.result->bstrVal), as_text(expected::kName));
        CallResult category;
        invoke(server.get(), ids[8], DISPATCH_METHOD, {}, category);
        ASSERT_EQ(category.status, S_OK) << hex(category.status);
        EXPECT_EQ(text_of(category.result->bstrVal), as_text(expected::kServerCategory));
        CallResult components;
        invoke(server.get(), ids[4], DISPATCH_METHOD, {}, components);
        ASSERT_EQ(components.status, S_OK) << hex(components.status);
        ASSERT_EQ(components.result->vt, VT_DISPATCH);
        Ref<_Collection> list;
        ASSERT_EQ(
            components.result->pdispVal->QueryInterface(expected::kCollectionIid, list.put_void()),
            S_OK);
        EXPECT_EQ(count_of(list.get()), 96);
        list.reset();

        const expected::LimitRow& row = expected::kLimitRows[0];
        Bstr guid(row.guid);
        VARIANT_BOOL family_total = row.family_total ? VARIANT_FALSE : VARIANT_TRUE;
        CallResult limit;
        invoke(server.get(), ids[7], DISPATCH_METHOD,
               {string_value(guid.get()), bool_reference(&family_total)}, limit);
        ASSERT_EQ(limit.status, S_OK) << hex(limit.status);
        ASSERT_EQ(limit.result->vt, VT_I4);
        EXPECT_EQ(limit.result->lVal, row.maximum);
        EXPECT_EQ(family_total, row.family_total ? VARIANT_TRUE : VARIANT_FALSE);

        // The other set of identifiers names nothing.
        CallResult other;
        invoke(server.get(), library.used ? 1 : DISPID{kName}, DISPATCH_PROPERTYGET, {}, other);
        EXPECT_EQ(other.status, DISP_E_MEMBERNOTFOUND) << hex(other.status);
        EXPECT_EQ(refcount(server.get()), 1u);
    }
}

}  // namespace
