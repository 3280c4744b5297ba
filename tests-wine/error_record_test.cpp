// Each thread's error record: failing calls made on several apartments'
// threads at once publish each thread's own description, and threads that
// come and go take their records with them.
#include "wine_support.h"

#include <string>
#include <vector>

using namespace wt;

namespace {

struct FailingCall {
    HRESULT (*call)(IServer*);
    const wchar_t* description;
};

const FailingCall kFailingCalls[] = {
    {[](IServer* s) {
         LONG maximum = 0;
         BSTR none = nullptr;
         return s->GetMaximumLimit(&none, nullptr, &maximum);
     },
     L"IServer.GetMaximumLimit (vtable index 14) failed with status 0x80004003"},
    {[](IServer* s) { return s->IsAttachable(nullptr, nullptr, nullptr); },
     L"IServer.IsAttachable (vtable index 12) failed with status 0x80004003"},
};

constexpr int kRounds = 200;

// One thread: its own apartment and instance, the two failing calls in
// turn, each followed by the error object it left. The count of mismatches.
DWORD WINAPI fail_in_turn(void* mismatches)
{
    auto* count = static_cast<LONG*>(mismatches);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        InterlockedIncrement(count);
        return 0;
    }
    {
        Ref<IServer> server;
        if (FAILED(CoCreateInstance(expected::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IServer,
                                    server.put_void())))
            InterlockedIncrement(count);
        for (int i = 0; server && i < kRounds; ++i) {
            const FailingCall& c = kFailingCalls[i % 2];
            Ref<IErrorInfo> error;
            Bstr description;
            const bool right = c.call(server.get()) == E_POINTER &&
                               GetErrorInfo(0, error.put()) == S_OK &&
                               SUCCEEDED(error->GetDescription(description.put())) &&
                               text_of(description.get()) == c.description;
            if (!right) InterlockedIncrement(count);
        }
    }
    CoUninitialize();
    return 0;
}

class ErrorRecords : public ModuleTest {};

TEST_F(ErrorRecords, EachThreadReadsItsOwnDescriptionAndThreadsComeAndGo)
{
    for (int wave = 0; wave < 3; ++wave) {
        SCOPED_TRACE("wave " + std::to_string(wave));
        LONG mismatches = 0;
        std::vector<HANDLE> threads;
        for (int t = 0; t < 4; ++t)
            threads.push_back(CreateThread(nullptr, 0, fail_in_turn, &mismatches, 0, nullptr));
        for (HANDLE h : threads) {
            ASSERT_NE(h, nullptr);
            EXPECT_EQ(WaitForSingleObject(h, 60000), WAIT_OBJECT_0);
            CloseHandle(h);
        }
        EXPECT_EQ(mismatches, 0);
    }
}

}  // namespace
