// Late binding given anything: arbitrary dispatch identifiers, flags,
// interface identifiers, argument counts, named arguments and variant types
// (by value and by reference, valid and invalid tags) on both faces of the
// class (the default face and IServer) and on a collection; name lookups
// with arbitrary names; type-information requests. The module must never
// crash, leak, or touch memory outside what it is given: every array and
// every referenced cell is a heap block of exactly its size, so the address
// sanitizer sees any access past it.
#include "fuzz_support.h"

#include "frame/server_class.h"
#include "runtime/collection.h"
#include "runtime/com_ptr.h"
#include "runtime/variant.h"

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

using fuzzing::check;
using fuzzing::check_status;

namespace {

// Frees what a variable holds by value, as its owner must once a call is
// over. References own nothing; what they point at is freed cell by cell.
void release_value(VARIANT& v)
{
    switch (v.vt) {
    case VT_BSTR: SysFreeString(v.bstrVal); break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        if (v.punkVal) v.punkVal->Release();
        break;
    default: break;
    }
    VariantInit(&v);
}

// Everything the arguments of one call point at, each in a block of its own
// exact size, and the rules for freeing what each cell holds at the end.
class Arena {
public:
    explicit Arena(IUnknown* token) : token_(token) {}
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena()
    {
        // What the cells hold now: the callee may have written to them.
        for (VARIANT* v : variants_) release_value(*v);
        for (BSTR* s : strings_) SysFreeString(*s);
        for (IUnknown** o : objects_)
            if (*o) (*o)->Release();
        for (void* b : blocks_) ::operator delete(b);
    }

    void* block(std::size_t size)
    {
        void* b = ::operator new(size);
        std::memset(b, 0, size);
        blocks_.push_back(b);
        return b;
    }
    VARIANT* variant_cell()
    {
        auto* v = static_cast<VARIANT*>(block(sizeof(VARIANT)));
        VariantInit(v);
        variants_.push_back(v);
        return v;
    }
    BSTR* string_cell(BSTR s)
    {
        auto* cell = static_cast<BSTR*>(block(sizeof(BSTR)));
        *cell = s;
        strings_.push_back(cell);
        return cell;
    }
    IUnknown** object_cell(IUnknown* o)
    {
        auto* cell = static_cast<IUnknown**>(block(sizeof(IUnknown*)));
        *cell = o;
        objects_.push_back(cell);
        return cell;
    }
    // A new reference on the token object, or null.
    IUnknown* object(fuzzing::Reader& in)
    {
        if (in.byte() & 1) return nullptr;
        token_->AddRef();
        return token_;
    }

private:
    IUnknown* token_;
    std::vector<void*> blocks_;
    std::vector<VARIANT*> variants_;
    std::vector<BSTR*> strings_;
    std::vector<IUnknown**> objects_;
};

// Text that sometimes names a member: names of the class's and the
// collection's members, in any letter case, or arbitrary units.
const char16_t* const kNames[] = {
    u"Name",
    u"releasenumber",
    u"DESCRIPTION",
    u"ServerGUID",
    u"DefaultComponents",
    u"IsAttachable",
    u"GetAttachableGUIDs",
    u"GetMaximumLimit",
    u"ServerCategory",
    u"Item",
    u"add",
    u"Count",
    u"Remove",
    u"_NewEnum",
    u"",
};

std::u16string some_text(fuzzing::Reader& in)
{
    const uint8_t shape = in.byte();
    if (shape < 0xC0) {
        std::u16string text = kNames[shape % (sizeof kNames / sizeof kNames[0])];
        if (shape & 0x40 && !text.empty()) text[0] = static_cast<char16_t>(in.unit());
        return text;
    }
    std::u16string text;
    const std::size_t length = shape % 24;
    for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(in.unit()));
    return text;
}

BSTR some_string(fuzzing::Reader& in)
{
    if (in.byte() < 0x10) return nullptr;
    const std::u16string text = some_text(in);
    BSTR s = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                               static_cast<UINT>(text.size()));
    check(s != nullptr, "could not allocate an argument");
    return s;
}

// Base types a variant may name, valid and not.
const VARTYPE kScalars[] = {VT_I1,   VT_UI1,   VT_I2, VT_UI2, VT_BOOL, VT_I4, VT_UI4, VT_INT,
                            VT_UINT, VT_ERROR, VT_R4, VT_I8,  VT_UI8,  VT_R8, VT_CY,  VT_DATE};
const VARTYPE kInvalidTags[] = {15,     0x0FFF, VT_VOID, VT_HRESULT, 72,     0x1003, 0x8003,
                                0x100C, 0x2000, 0x4000,  0x4001,     0x7FFF, 0xFFFF, 0x200F};

// Fills v with a variant of some type. Pointers in it are valid, or null
// where the type allows null; plain values carry arbitrary bits.
void some_variant(fuzzing::Reader& in, Arena& arena, VARIANT& v, int depth)
{
    VariantInit(&v);
    const std::size_t kind = in.below(depth < 2 ? 16 : 10);
    switch (kind) {
    case 0: return;  // VT_EMPTY
    case 1: v.vt = VT_NULL; return;
    case 2:
    case 3: {
        v.vt = kScalars[in.below(sizeof kScalars / sizeof kScalars[0])];
        v.llVal = static_cast<LONGLONG>(in.wide());
        if (v.vt == VT_ERROR && (in.byte() & 1)) v.scode = DISP_E_PARAMNOTFOUND;
        return;
    }
    case 4: {
        DECIMAL d;
        d.wReserved = 0;
        d.scale = static_cast<BYTE>(in.byte());
        d.sign = static_cast<BYTE>(in.byte());
        d.Hi32 = in.word();
        d.Lo64 = in.wide();
        v.decVal = d;
        v.vt = VT_DECIMAL;
        return;
    }
    case 5:
    case 6:
        v.vt = VT_BSTR;
        v.bstrVal = some_string(in);
        return;
    case 7:
        v.vt = (in.byte() & 1) ? VT_DISPATCH : VT_UNKNOWN;
        v.punkVal = arena.object(in);
        return;
    case 8:  // arrays and records the caller cannot really pass: null payloads
        v.vt =
            (in.byte() & 1) ? static_cast<VARTYPE>(VT_ARRAY | kScalars[in.below(16)]) : VT_RECORD;
        return;
    case 9:
        v.vt = kInvalidTags[in.below(sizeof kInvalidTags / sizeof kInvalidTags[0])];
        if (v.vt & VT_BYREF)
            v.byref = arena.block(16);
        else
            v.llVal = static_cast<LONGLONG>(in.wide());
        return;
    default: break;
    }

    // By reference: to a cell of exactly the referenced type's size, or null.
    const bool null_reference = in.byte() < 0x08;
    switch (in.below(7)) {
    case 0:
    case 1: {
        const VARTYPE base = kScalars[in.below(sizeof kScalars / sizeof kScalars[0])];
        v.vt = static_cast<VARTYPE>(VT_BYREF | base);
        if (null_reference) return;
        const std::size_t size = rt::referenced_size(base);
        v.byref = arena.block(size);
        const uint64_t bits = in.wide();
        std::memcpy(v.byref, &bits, size);
        return;
    }
    case 2:
        v.vt = VT_BYREF | VT_BSTR;
        if (!null_reference) v.pbstrVal = arena.string_cell(some_string(in));
        return;
    case 3:
        v.vt = static_cast<VARTYPE>(VT_BYREF | ((in.byte() & 1) ? VT_DISPATCH : VT_UNKNOWN));
        if (!null_reference) v.ppunkVal = arena.object_cell(arena.object(in));
        return;
    case 4: {
        v.vt = VT_BYREF | VT_DECIMAL;
        if (null_reference) return;
        v.pdecVal = static_cast<DECIMAL*>(arena.block(sizeof(DECIMAL)));
        const uint64_t a = in.wide(), b = in.wide();
        std::memcpy(v.pdecVal, &a, 8);
        std::memcpy(reinterpret_cast<unsigned char*>(v.pdecVal) + 8, &b, 8);
        return;
    }
    case 5:
        v.vt = static_cast<VARTYPE>(VT_BYREF | VT_ARRAY | VT_I4);
        if (!null_reference) v.byref = arena.block(sizeof(void*));  // a null array
        return;
    default: {
        v.vt = VT_BYREF | VT_VARIANT;
        if (null_reference) return;
        VARIANT* inner = arena.variant_cell();
        some_variant(in, arena, *inner, depth + 1);
        v.pvarVal = inner;
        return;
    }
    }
}

DISPID some_dispid(fuzzing::Reader& in)
{
    const uint8_t b = in.byte();
    if (b < 0xE0) return static_cast<DISPID>(b % 16) - 5;  // -5 .. 10
    if (b < 0xF0) return b & 1 ? INT_MAX : INT_MIN;
    return static_cast<DISPID>(in.word());
}

const IID& some_iid(fuzzing::Reader& in)
{
    const uint8_t b = in.byte();
    if (b < 0xF0) return IID_NULL;
    return b & 1 ? IID_IDispatch : IID_IServer;
}

void one_invoke(fuzzing::Reader& in, IDispatch* target, IUnknown* token)
{
    Arena arena(token);
    const DISPID id = some_dispid(in);
    const IID& riid = some_iid(in);
    const uint8_t shape = in.byte();
    const WORD flags = static_cast<WORD>((shape & 0x80) ? in.unit() : (shape & 0x0F));
    const UINT count = static_cast<UINT>(in.below(6));

    // Exactly `count` arguments (a zero-sized block when none), each its own
    // variable.
    auto* args = static_cast<VARIANT*>(arena.block(count * sizeof(VARIANT)));
    std::vector<VARIANT*> tops;
    for (UINT i = 0; i < count; ++i) {
        some_variant(in, arena, args[i], 0);
        tops.push_back(&args[i]);
    }
    DISPPARAMS params{args, nullptr, count, 0};
    const uint8_t extras = in.byte();
    if (extras & 0x01) {  // named arguments, now and then the put convention
        params.cNamedArgs = static_cast<UINT>(in.below(count + 1));
        auto* named = static_cast<DISPID*>(arena.block(params.cNamedArgs * sizeof(DISPID)));
        for (UINT i = 0; i < params.cNamedArgs; ++i)
            named[i] = (in.byte() & 1) ? DISPID_PROPERTYPUT : some_dispid(in);
        params.rgdispidNamedArgs = named;
    }
    if ((extras & 0x06) == 0x06) params.rgvarg = nullptr;
    VARIANT* result = (extras & 0x08) ? nullptr : arena.variant_cell();
    EXCEPINFO exception{};
    UINT bad_argument = 0xFFFF;
    const bool no_params = (extras & 0x70) == 0x70;

    const HRESULT hr = target->Invoke(
        id, riid, LOCALE_USER_DEFAULT, flags, no_params ? nullptr : &params, result,
        (extras & 0x80) ? nullptr : &exception, (extras & 0x10) ? &bad_argument : nullptr);
    if (hr == DISP_E_EXCEPTION && !(extras & 0x80))
        check(FAILED(exception.scode) || exception.wCode != 0,
              "an exception without an error code");
    if (hr != DISP_E_EXCEPTION) {
        check(exception.bstrSource == nullptr && exception.bstrDescription == nullptr,
              "an error description without an exception");
    }
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    if (result && FAILED(hr)) check(result->vt == VT_EMPTY, "a failed call left a result");
    for (VARIANT* v : tops) release_value(*v);
    SetErrorInfo(0, nullptr);
}

void one_lookup(fuzzing::Reader& in, IDispatch* target)
{
    const UINT count = static_cast<UINT>(in.below(4));
    std::vector<std::u16string> texts;
    for (UINT i = 0; i < count; ++i) texts.push_back(some_text(in));
    // Exactly sized arrays: the names (each a zero-terminated copy, or null)
    // and the identifiers.
    std::unique_ptr<LPOLESTR[]> names(new LPOLESTR[count == 0 ? 1 : count]);
    std::vector<std::unique_ptr<OLECHAR[]>> copies;
    for (UINT i = 0; i < count; ++i) {
        if (in.byte() < 0x08) {
            names[i] = nullptr;
            continue;
        }
        // Zero-terminated, so a name ends at its first zero unit.
        copies.emplace_back(new OLECHAR[texts[i].size() + 1]);
        std::memcpy(copies.back().get(), texts[i].data(), texts[i].size() * sizeof(OLECHAR));
        copies.back()[texts[i].size()] = 0;
        names[i] = copies.back().get();
    }
    std::unique_ptr<DISPID[]> ids(new DISPID[count == 0 ? 1 : count]);
    const IID& riid = some_iid(in);
    const HRESULT hr =
        target->GetIDsOfNames(riid, names.get(), count, LOCALE_USER_DEFAULT, ids.get());
    (void)hr;

    UINT infos = 99;
    check_status(target->GetTypeInfoCount(&infos), S_OK, "GetTypeInfoCount");
    ITypeInfo* info = nullptr;
    if (SUCCEEDED(target->GetTypeInfo(in.byte() % 3, LOCALE_USER_DEFAULT, &info)) && info)
        reinterpret_cast<IUnknown*>(info)->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzzing::Reader in(data, size);
    const fuzzing::LiveCounts counts;
    rt::fail_allocation_after(0);
    {
        rt::ComPtr<IServer> server;
        check_status(orvanta::CTivOrvantaZNA100::create(IID_IServer, server.put_void()), S_OK,
                     "create");
        rt::ComPtr<IDispatch> default_face;
        check_status(server->QueryInterface(IID_IDispatch, default_face.put_void()), S_OK,
                     "QI IDispatch");
        rt::ComPtr<_Collection> list;
        check_status(rt::create_collection(list.put()), S_OK, "create_collection");
        // Objects passed as arguments: never a target, so nothing can hold
        // itself.
        rt::ComPtr<_Collection> token;
        check_status(rt::create_collection(token.put()), S_OK, "create_collection");

        IDispatch* const targets[] = {default_face.get(), server.get(), list.get()};
        for (int calls = 0; !in.empty() && calls < 64; ++calls) {
            IDispatch* target = targets[in.below(3)];
            if (in.byte() < 0x20)
                one_lookup(in, target);
            else
                one_invoke(in, target, token.get());
        }
        default_face.reset();
        check(server.detach()->Release() == 0, "the instance outlived its last reference");
        check(list.detach()->Release() == 0, "the collection outlived its last reference");
        check(token.detach()->Release() == 0, "an argument object kept a reference");
    }
    counts.check();
    return 0;
}
