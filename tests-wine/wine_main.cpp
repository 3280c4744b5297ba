// orvanta-wine-tests [--prepare-registry] [GoogleTest options]
//
// Runs the tests in one single-threaded apartment, as a host's user
// interface thread does. With --prepare-registry it only loads the
// platform's standard OLE type library once and exits: Wine may register
// that library the first time it is loaded, and a registry snapshot taken
// afterwards then differs only by what the module itself registers.
#include <gtest/gtest.h>

#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>

namespace {

class Apartment : public ::testing::Environment {
public:
    void SetUp() override
    {
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(hr, S_OK) << "CoInitializeEx";
    }
    void TearDown() override { CoUninitialize(); }
};

int prepare_registry()
{
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) return 1;
    ITypeLib* library = nullptr;
    hr = LoadTypeLib(L"stdole2.tlb", &library);
    if (library) library->Release();
    CoUninitialize();
    if (FAILED(hr)) {
        std::fprintf(stderr, "LoadTypeLib(stdole2.tlb) failed: 0x%08lX\n",
                     static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--prepare-registry") == 0) return prepare_registry();
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new Apartment);
    return RUN_ALL_TESTS();
}
