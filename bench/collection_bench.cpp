// Key lookup in the collection (Item by key) as the collection grows: 96
// elements (the catalogue's size), 10,000 and 100,000. Keys are GUID texts of
// 38 units, as the module's collections hold. Each run looks up the same
// 1,024 keys (all of them at 96), spread over the whole collection, so what
// grows is the collection, not the set of argument strings.
#include "runtime/collection.h"
#include "runtime/com_ptr.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

BSTR guid_text(uint32_t n)
{
    char ascii[40];
    std::snprintf(ascii, sizeof ascii, "{%08X-7F5B-11d2-BF88-%012llX}", n * 2654435761u,
                  static_cast<unsigned long long>(n) * 0x9E3779B97F4Aull % 0x1000000000000ull);
    OLECHAR units[40];
    UINT length = 0;
    for (; ascii[length]; ++length) units[length] = static_cast<OLECHAR>(ascii[length]);
    return SysAllocStringLen(units, length);
}

VARIANT string_value(BSTR s)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = s;
    return v;
}

void ItemByKey(benchmark::State& state)
{
    const auto size = static_cast<uint32_t>(state.range(0));
    rt::ComPtr<_Collection> list;
    if (rt::create_collection(list.put()) != S_OK) std::abort();
    std::vector<BSTR> keys;
    for (uint32_t i = 0; i < size; ++i) {
        BSTR key = guid_text(i);
        VARIANT item = string_value(key);
        if (list->Add(&item, &item, nullptr, nullptr) != S_OK) std::abort();
        keys.push_back(key);
    }
    // The probes: every key, or 1,024 spread evenly over the collection.
    std::vector<VARIANT> probes;
    const uint32_t count = size < 1024 ? size : 1024;
    for (uint32_t i = 0; i < count; ++i)
        probes.push_back(
            string_value(keys[(static_cast<uint64_t>(i) * 7919u % count) * (size / count)]));

    std::size_t at = 0;
    VARIANT found;
    VariantInit(&found);
    for (auto _ : state) {
        list->Item(&probes[at], &found);
        benchmark::DoNotOptimize(found);
        VariantClear(&found);
        if (++at == probes.size()) at = 0;
    }
    for (BSTR k : keys) SysFreeString(k);
}

BENCHMARK(ItemByKey)->Arg(96)->Arg(10000)->Arg(100000);

}  // namespace
