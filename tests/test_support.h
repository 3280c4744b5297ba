// Small helpers shared by the module's tests: reference-count probes, string
// makers, a leak guard, and readers that turn a collection into plain text.
#pragma once

#include "frame/iserver.h"
#include "frame/server_class.h"
#include "runtime/automation.h"
#include "runtime/bstr.h"
#include "runtime/collection.h"
#include "runtime/com_ptr.h"
#include "runtime/fault_injection.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

// The module's entry points, as a host reaches them.
STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
STDAPI DllCanUnloadNow();

namespace testing_support {

// The object's reference count right now, read by an AddRef/Release pair.
inline ULONG refcount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

// A new automation string holding exactly these units; embedded zeros are
// kept when the view carries them (use the u""sv literal or an explicit
// length).
inline rt::BStr bstr(std::u16string_view text)
{
    return rt::BStr::copy_of(text.data(), static_cast<UINT>(text.size()));
}

// The units of an automation string, all SysStringLen of them.
inline std::u16string text_of(BSTR s)
{
    return s ? std::u16string(s, SysStringLen(s)) : std::u16string();
}

// Printable form of 16-bit text for failure messages: ASCII as is, anything
// else (a zero unit included) as \uXXXX.
std::string printable(std::u16string_view text);

// Records the live automation strings and module objects when constructed and
// expects the same counts when checked (at the latest when destroyed).
class LeakGuard {
public:
    LeakGuard() : strings_(rt::live_strings()), objects_(rt::live_objects()) {}
    LeakGuard(const LeakGuard&) = delete;
    LeakGuard& operator=(const LeakGuard&) = delete;
    ~LeakGuard() { check(); }

    void check() const
    {
        EXPECT_EQ(rt::live_strings(), strings_) << "automation strings leaked or over-freed";
        EXPECT_EQ(rt::live_objects(), objects_) << "module objects leaked or over-released";
    }
    bool clean() const { return rt::live_strings() == strings_ && rt::live_objects() == objects_; }
    long strings_at_start() const { return strings_; }
    long objects_at_start() const { return objects_; }

private:
    long strings_;
    long objects_;
};

// Fixture for tests whose whole body must leave nothing behind. It also
// disarms the fault hook and empties the thread's error-object slot on both
// ends, so one test's failure points never leak into the next.
class LeakCheckedTest : public ::testing::Test {
protected:
    void SetUp() override { reset_thread_state(); }
    void TearDown() override
    {
        reset_thread_state();
        guard_.check();
    }
    static void reset_thread_state()
    {
        rt::fail_allocation_after(0);
        SetErrorInfo(0, nullptr);
    }

    const LeakGuard& guard() const { return guard_; }

private:
    LeakGuard guard_;
};

// A new instance of the class, held through IServer.
rt::ComPtr<IServer> new_server();

// The platform's error object left by the last failing call on this thread,
// taken out of the slot; GUID and description.
struct ErrorObjectReport {
    bool present = false;
    GUID guid{};
    std::u16string description;
    std::u16string source;
};
ErrorObjectReport take_error_object();

// Variants as a caller builds them. None owns what it points at.
VARIANT string_value(BSTR s);
VARIANT string_reference(BSTR* s);
VARIANT variant_reference(VARIANT* v);
VARIANT long_value(LONG n);

// The elements of a collection as text, read three ways. Any element that is
// not a string, and any failing call, is reported as a test failure.
std::vector<std::u16string> items_by_position(_Collection* list);
std::vector<std::u16string> items_by_key(_Collection* list, const std::vector<std::u16string>& keys);
std::vector<std::u16string> items_by_enumeration(_Collection* list);
LONG count_of(_Collection* list);

}  // namespace testing_support
