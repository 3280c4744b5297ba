// The IServer operations, each beside what it is judged against:
//  - GetMaximumLimit (keyed lookup, through the vtable) against the plain
//    reading, a copy of the argument and a scan of the 81 rows in table order
//    with exact comparison, and against the floor, the copy alone;
//  - DefaultComponents (96 strings, 96 keyed inserts, then the release of its
//    result) against the floor of 96 string allocations and frees;
//  - IsAttachable, CreateInstance + Release, and GetMaximumLimit late-bound
//    against the same call made directly.
#include "definition/catalogue.h"
#include "definition/limits.h"
#include "tests/support/limit_scan.h"
#include "frame/iserver.h"
#include "frame/server_class.h"
#include "runtime/bstr.h"
#include "runtime/com_ptr.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string_view>

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

namespace {

constexpr std::u16string_view kFirstRow = orvanta::kLimitRows.front().guid;  // row 1
constexpr std::u16string_view kLastRow = orvanta::kLimitRows.back().guid;    // row 81
// A GUID of the catalogue that no row lists: a miss of full length.
constexpr std::u16string_view kNoRow = orvanta::kDefaultComponents[2];

rt::BStr text(std::u16string_view s)
{
    return rt::BStr::copy_of(reinterpret_cast<const OLECHAR*>(s.data()),
                             static_cast<UINT>(s.size()));
}

rt::ComPtr<IServer> new_server()
{
    rt::ComPtr<IServer> server;
    if (orvanta::CTivOrvantaZNA100::create(IID_IServer, server.put_void()) != S_OK) std::abort();
    return server;
}

void expect(bool ok, benchmark::State& state, const char* what)
{
    if (!ok) state.SkipWithError(what);
}

// ---- GetMaximumLimit ----

void GetMaximumLimit(benchmark::State& state, std::u16string_view guid)
{
    const rt::ComPtr<IServer> server = new_server();
    const rt::BStr argument = text(guid);
    const orvanta::LimitAnswer expected = orvanta::find_limit_by_scan(guid);
    BSTR component = argument.get();
    VARIANT_BOOL family_total = 0;
    LONG maximum = 0;
    for (auto _ : state) {
        server->GetMaximumLimit(&component, &family_total, &maximum);
        benchmark::DoNotOptimize(maximum);
        benchmark::DoNotOptimize(family_total);
    }
    expect(maximum == expected.maximum, state, "wrong answer");
}

// The plain reading: copy the argument, scan the rows in table order.
void ScanBaseline(benchmark::State& state, std::u16string_view guid)
{
    const rt::BStr argument = text(guid);
    BSTR component = argument.get();
    orvanta::LimitAnswer answer{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(component);
        BSTR copy = SysAllocStringLen(component, SysStringLen(component));
        answer = orvanta::find_limit_by_scan(
            std::u16string_view(reinterpret_cast<const char16_t*>(copy), SysStringLen(copy)));
        SysFreeString(copy);
        benchmark::DoNotOptimize(answer);
    }
    expect(answer == orvanta::find_limit(guid), state, "wrong answer");
}

// The floor: one copy of the argument, made and freed.
void CopyFloor(benchmark::State& state)
{
    const rt::BStr argument = text(kLastRow);
    BSTR component = argument.get();
    for (auto _ : state) {
        benchmark::DoNotOptimize(component);
        BSTR copy = SysAllocStringLen(component, SysStringLen(component));
        benchmark::DoNotOptimize(copy);
        SysFreeString(copy);
    }
}

BENCHMARK_CAPTURE(GetMaximumLimit, row1, kFirstRow);
BENCHMARK_CAPTURE(GetMaximumLimit, row81, kLastRow);
BENCHMARK_CAPTURE(GetMaximumLimit, miss, kNoRow);
BENCHMARK_CAPTURE(ScanBaseline, row1, kFirstRow);
BENCHMARK_CAPTURE(ScanBaseline, row81, kLastRow);
BENCHMARK_CAPTURE(ScanBaseline, miss, kNoRow);
BENCHMARK(CopyFloor);

// ---- DefaultComponents ----

void DefaultComponents(benchmark::State& state)
{
    const rt::ComPtr<IServer> server = new_server();
    for (auto _ : state) {
        _Collection* list = nullptr;
        server->DefaultComponents(&list);
        benchmark::DoNotOptimize(list);
        list->Release();
    }
}

// The floor: the 96 strings a collection of the catalogue must hold, each
// allocated and freed.
void CatalogueStringsFloor(benchmark::State& state)
{
    BSTR strings[orvanta::kDefaultComponents.size()];
    for (auto _ : state) {
        for (std::size_t i = 0; i < orvanta::kDefaultComponents.size(); ++i) {
            const std::u16string_view entry = orvanta::kDefaultComponents[i];
            strings[i] = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(entry.data()),
                                           static_cast<UINT>(entry.size()));
        }
        benchmark::DoNotOptimize(strings);
        for (BSTR s : strings) SysFreeString(s);
    }
}

BENCHMARK(DefaultComponents);
BENCHMARK(CatalogueStringsFloor);

// ---- the rest ----

void IsAttachable(benchmark::State& state)
{
    const rt::ComPtr<IServer> server = new_server();
    const rt::BStr parent = text(kFirstRow), attachment = text(kLastRow);
    BSTR p = parent.get(), a = attachment.get();
    LONG result = -1;
    for (auto _ : state) {
        server->IsAttachable(&p, &a, &result);
        benchmark::DoNotOptimize(result);
    }
    expect(result == 2, state, "wrong answer");
}

void CreateInstanceRelease(benchmark::State& state)
{
    rt::ComPtr<IClassFactory> factory;
    if (DllGetClassObject(CLSID_CTivOrvantaZNA100, IID_IClassFactory, factory.put_void()) != S_OK)
        std::abort();
    for (auto _ : state) {
        IServer* server = nullptr;
        factory->CreateInstance(nullptr, IID_IServer, reinterpret_cast<void**>(&server));
        benchmark::DoNotOptimize(server);
        server->Release();
    }
}

// GetMaximumLimit late-bound, as a script client calls it: the GUID by
// value, FamilyTotal by reference, the answer in a variant.
void InvokeGetMaximumLimit(benchmark::State& state)
{
    const rt::ComPtr<IServer> server = new_server();
    const rt::BStr argument = text(kLastRow);
    VARIANT_BOOL family_total = 0;
    VARIANT args[2];
    VariantInit(&args[0]);
    args[0].vt = VT_BYREF | VT_BOOL;  // last argument first
    args[0].pboolVal = &family_total;
    VariantInit(&args[1]);
    args[1].vt = VT_BSTR;
    args[1].bstrVal = argument.get();
    DISPPARAMS params{args, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    for (auto _ : state) {
        server->Invoke(orvanta::kMemberGetMaximumLimit, IID_NULL, 0, DISPATCH_METHOD, &params,
                       &result, nullptr, nullptr);
        benchmark::DoNotOptimize(result);
    }
    expect(result.vt == VT_I4 && result.lVal == orvanta::kLimitRows.back().maximum, state,
           "wrong answer");
}

BENCHMARK(IsAttachable);
BENCHMARK(CreateInstanceRelease);
BENCHMARK(InvokeGetMaximumLimit);

}  // namespace
