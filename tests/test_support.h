// Small helpers shared by the module's native tests: string makers, a leak
// guard, new instances and the error object; with everything of
// tests/common/client_support.h (reference-count probes, variants, readers
// that turn a collection into plain text).
#pragma once

#include "frame/iserver.h"
#include "frame/server_class.h"
#include "runtime/automation.h"
#include "runtime/bstr.h"
#include "runtime/collection.h"
#include "runtime/com_ptr.h"
#include "runtime/fault_injection.h"
#include "runtime/module_state.h"
#include "tests/common/client_support.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

// The module's entry points, as a host reaches them.
STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
STDAPI DllCanUnloadNow();

namespace testing_support {

using client::count_of;
using client::items_by_enumeration;
using client::items_by_key;
using client::items_by_position;
using client::long_value;
using client::printable;
using client::refcount;
using client::string_reference;
using client::string_value;
using client::text_of;
using client::variant_reference;

// A new automation string holding exactly these units; embedded zeros are
// kept when the view carries them (use the u""sv literal or an explicit
// length).
inline rt::BStr bstr(std::u16string_view text)
{
    return rt::BStr::copy_of(text.data(), static_cast<UINT>(text.size()));
}

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
// disarms the fault hook and empties the thread's error object on both
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

// Fixture holding a new, empty collection in c: at the end c must hold its
// only reference, and nothing may be left behind.
class NewCollectionTest : public LeakCheckedTest {
protected:
    void SetUp() override
    {
        LeakCheckedTest::SetUp();
        ASSERT_EQ(rt::create_collection(c.put()), S_OK);
    }
    void TearDown() override
    {
        if (c) {
            EXPECT_EQ(c.detach()->Release(), 0u);
        }
        LeakCheckedTest::TearDown();
    }

    rt::ComPtr<_Collection> c;
};

// A new instance of the class, held through IServer.
rt::ComPtr<IServer> new_server();

// The platform's error object left by the last failing call on this thread,
// taken from the thread; GUID and description.
struct ErrorObjectReport {
    bool present = false;
    GUID guid{};
    std::u16string description;
    std::u16string source;
};
ErrorObjectReport take_error_object();

}  // namespace testing_support
