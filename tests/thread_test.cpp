// Many threads, one class object. Each thread creates its own instances from
// the class object that DllGetClassObject handed out once, and makes a long
// run of mixed calls on them: the nine operations, the collections they
// return (read, then released), late-bound calls, new instances, and
// references and locks on the shared class object. Every answer is checked.
// Afterwards nothing of the module may remain.
//
// ORVANTA_THREAD_CALLS sets the calls per thread (default 100000); the run
// under valgrind, which serialises threads, asks for fewer.
#include "test_support.h"

#include "definition/attachment.h"
#include "definition/catalogue.h"
#include "definition/identity.h"
#include "definition/limits.h"
#include "tests/support/limit_scan.h"
#include "runtime/variant.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace testing_support;

namespace {

constexpr int kThreads = 8;
constexpr long kDefaultCallsPerThread = 100000;

long calls_per_thread()
{
    const char* text = std::getenv("ORVANTA_THREAD_CALLS");
    if (!text || !*text) return kDefaultCallsPerThread;
    const long n = std::strtol(text, nullptr, 10);
    return n > 0 ? n : kDefaultCallsPerThread;
}

// A small, fast generator; each thread seeds its own.
struct Random {
    uint64_t state;
    uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 16);
    }
    std::size_t below(std::size_t n) { return next() % n; }
};

// The first failures of all threads, for the report; the count of all.
class Failures {
public:
    void note(int thread, long call, const std::string& what)
    {
        ++count_;
        std::lock_guard<std::mutex> lock(mutex_);
        if (first_.size() < 20)
            first_.push_back("thread " + std::to_string(thread) + ", call " + std::to_string(call) +
                             ": " + what);
    }
    long count() const { return count_.load(); }
    std::string report() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string all;
        for (const auto& f : first_) all += f + "\n";
        return all;
    }

private:
    std::atomic<long> count_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> first_;
};

std::string hex(HRESULT hr)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
    return buf;
}

// GUID texts to ask GetMaximumLimit about: every row, every catalogue entry,
// and near misses (another letter case, no braces, one unit short).
std::vector<std::u16string> questions()
{
    std::vector<std::u16string> all;
    for (const auto& row : orvanta::kLimitRows) all.emplace_back(row.guid);
    for (const auto& entry : orvanta::kDefaultComponents) all.emplace_back(entry);
    for (const auto& row : orvanta::kLimitRows) {
        std::u16string upper(row.guid);
        for (char16_t& c : upper)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        all.push_back(upper);
        all.push_back(std::u16string(row.guid.substr(1, row.guid.size() - 2)));
        all.push_back(std::u16string(row.guid.substr(0, row.guid.size() - 1)));
    }
    all.push_back(u"");
    return all;
}

// One thread's run: its own instances, the shared class object.
class Worker {
public:
    Worker(int id, IClassFactory* factory, long calls, const std::vector<std::u16string>& texts,
           Failures& failures)
        : id_(id),
          factory_(factory),
          calls_(calls),
          texts_(texts),
          failures_(failures),
          random_{0x9E3779B97F4A7C15ull * static_cast<uint64_t>(id + 1)}
    {
    }

    void run()
    {
        renew();
        for (call_ = 0; call_ < calls_; ++call_) one_call();
        server_.reset();
        spare_.reset();
    }

private:
    void fail(const std::string& what) { failures_.note(id_, call_, what); }
    void expect(bool ok, const char* what)
    {
        if (!ok) fail(what);
    }
    void expect_status(HRESULT hr, HRESULT wanted, const char* what)
    {
        if (hr != wanted) fail(std::string(what) + " returned " + hex(hr));
    }

    // A new instance through the shared class object, on alternating faces.
    void renew()
    {
        rt::ComPtr<IUnknown> unknown;
        const IID& iid = random_.next() % 2 ? IID_IUnknown : IID_IDispatch;
        expect_status(factory_->CreateInstance(nullptr, iid, unknown.put_void()), S_OK,
                      "CreateInstance");
        if (!unknown) return;
        rt::ComPtr<IServer> server;
        expect_status(unknown->QueryInterface(IID_IServer, server.put_void()), S_OK,
                      "QueryInterface(IServer)");
        spare_ = std::move(server_);
        server_ = std::move(server);
    }

    void one_call()
    {
        IServer* s = server_.get();
        if (!s) return fail("no instance");
        // Weights: collections are built rarely, everything else often.
        const std::size_t pick = random_.below(100);
        if (pick < 8) return text_call(s, &IServer::get_Name, orvanta::kServerName, "Name");
        if (pick < 16)
            return text_call(s, &IServer::get_ReleaseNumber, orvanta::kReleaseNumber,
                             "ReleaseNumber");
        if (pick < 24)
            return text_call(s, &IServer::get_Description, orvanta::kServerDescription,
                             "Description");
        if (pick < 32)
            return text_call(s, &IServer::get_ServerGUID, orvanta::kServerGuid, "ServerGUID");
        if (pick < 40)
            return text_call(s, &IServer::ServerCategory, orvanta::kServerCategory,
                             "ServerCategory");
        if (pick < 42) return default_components(s);
        if (pick < 52) return is_attachable(s);
        if (pick < 62) return attachable_guids(s);
        if (pick < 80) return maximum_limit(s);
        if (pick < 94) return late_bound(s);
        if (pick < 97) return renew();
        if (pick < 98) return class_object_use();
        return faces(s);
    }

    void text_call(IServer* s, HRESULT (STDMETHODCALLTYPE IServer::*member)(BSTR*),
                   std::u16string_view expected, const char* what)
    {
        rt::BStr text;
        expect_status((s->*member)(text.put()), S_OK, what);
        expect(text_of(text.get()) == expected, what);
    }

    void default_components(IServer* s)
    {
        rt::ComPtr<_Collection> list;
        expect_status(s->DefaultComponents(list.put()), S_OK, "DefaultComponents");
        if (!list) return fail("DefaultComponents gave no collection");
        read_catalogue(list.get());
    }

    void read_catalogue(_Collection* list)
    {
        LONG count = 0;
        expect_status(list->Count(&count), S_OK, "Count");
        expect(count == static_cast<LONG>(orvanta::kDefaultComponents.size()), "catalogue size");
        // One element by position, one by key (in another letter case:
        // the collection's keys fold case), and the last by enumeration.
        const std::size_t at = random_.below(orvanta::kDefaultComponents.size());
        const std::u16string expected(orvanta::kDefaultComponents[at]);
        VARIANT position = long_value(static_cast<LONG>(at + 1));
        rt::Variant element;
        expect_status(list->Item(&position, element.put()), S_OK, "Item(position)");
        expect(element->vt == VT_BSTR && text_of(element->bstrVal) == expected,
               "Item(position) value");

        std::u16string key = expected;
        for (char16_t& c : key)
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        rt::BStr key_text = bstr(key);
        VARIANT by_key = string_value(key_text.get());
        expect_status(list->Item(&by_key, element.put()), S_OK, "Item(key)");
        expect(element->vt == VT_BSTR && text_of(element->bstrVal) == expected, "Item(key) value");

        rt::ComPtr<IUnknown> unknown;
        expect_status(list->_NewEnum(unknown.put()), S_OK, "_NewEnum");
        rt::ComPtr<IEnumVARIANT> walker;
        if (unknown) unknown->QueryInterface(IID_IEnumVARIANT, walker.put_void());
        if (!walker) return fail("no enumerator");
        expect_status(walker->Skip(static_cast<ULONG>(count - 1)), S_OK, "Skip");
        ULONG fetched = 0;
        expect_status(walker->Next(1, element.put(), &fetched), S_OK, "Next");
        expect(fetched == 1 && element->vt == VT_BSTR &&
                   text_of(element->bstrVal) == orvanta::kDefaultComponents.back(),
               "last element by enumeration");
    }

    const std::u16string& some_text() { return texts_[random_.below(texts_.size())]; }

    void is_attachable(IServer* s)
    {
        rt::BStr parent = bstr(some_text()), attachment = bstr(some_text());
        BSTR p = parent.get(), a = attachment.get();
        LONG result = -7;
        expect_status(s->IsAttachable(&p, &a, &result), S_OK, "IsAttachable");
        expect(result == orvanta::AttachNoList, "IsAttachable answer");
        expect(p == parent.get() && a == attachment.get(), "IsAttachable changed its arguments");
    }

    void attachable_guids(IServer* s)
    {
        rt::BStr parent = bstr(some_text());
        BSTR p = parent.get();
        rt::ComPtr<_Collection> list;
        expect_status(s->GetAttachableGUIDs(&p, list.put()), S_OK, "GetAttachableGUIDs");
        expect(!list, "GetAttachableGUIDs gave a list");
    }

    void maximum_limit(IServer* s)
    {
        const std::u16string& question = some_text();
        rt::BStr guid = bstr(question);
        BSTR g = guid.get();
        VARIANT_BOOL family_total = random_.next() % 2 ? VARIANT_TRUE : VARIANT_FALSE;
        LONG maximum = 12345;
        expect_status(s->GetMaximumLimit(&g, &family_total, &maximum), S_OK, "GetMaximumLimit");
        const orvanta::LimitAnswer expected = orvanta::find_limit_by_scan(question);
        expect(maximum == expected.maximum, "GetMaximumLimit maximum");
        expect(family_total == (expected.family_total ? VARIANT_TRUE : VARIANT_FALSE),
               "GetMaximumLimit FamilyTotal");
    }

    // A late-bound call of any of the nine members on the IServer face.
    void late_bound(IServer* s)
    {
        const DISPID id = static_cast<DISPID>(1 + random_.below(9));
        if (id == orvanta::kMemberDefaultComponents && random_.below(8) != 0) return late_bound(s);
        const std::u16string& question = some_text();
        rt::BStr first = bstr(question), second = bstr(some_text());
        VARIANT_BOOL family_total = 0x5A5A;
        std::vector<VARIANT> args;  // last first, as DISPPARAMS carries them
        switch (id) {
        case orvanta::kMemberIsAttachable:
            args = {string_value(second.get()), string_value(first.get())};
            break;
        case orvanta::kMemberGetAttachableGUIDs: args = {string_value(first.get())}; break;
        case orvanta::kMemberGetMaximumLimit: {
            VARIANT flag;
            VariantInit(&flag);
            flag.vt = VT_BYREF | VT_BOOL;
            flag.pboolVal = &family_total;
            args = {flag, string_value(first.get())};
            break;
        }
        default: break;
        }
        DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr,
                          static_cast<UINT>(args.size()), 0};
        rt::Variant result;
        EXCEPINFO exception{};
        const WORD flags =
            id <= orvanta::kMemberServerGUID ? DISPATCH_PROPERTYGET : DISPATCH_METHOD;
        const HRESULT hr = s->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                     result.get(), &exception, nullptr);
        expect_status(hr, S_OK, "Invoke");
        if (hr != S_OK) {
            SysFreeString(exception.bstrSource);
            SysFreeString(exception.bstrDescription);
            return;
        }
        const VARIANT& v = *result.get();
        switch (id) {
        case orvanta::kMemberName:
            expect(v.vt == VT_BSTR && text_of(v.bstrVal) == orvanta::kServerName, "Invoke Name");
            break;
        case orvanta::kMemberReleaseNumber:
            expect(v.vt == VT_BSTR && text_of(v.bstrVal) == orvanta::kReleaseNumber,
                   "Invoke ReleaseNumber");
            break;
        case orvanta::kMemberDescription:
            expect(v.vt == VT_BSTR && text_of(v.bstrVal) == orvanta::kServerDescription,
                   "Invoke Description");
            break;
        case orvanta::kMemberServerGUID:
            expect(v.vt == VT_BSTR && text_of(v.bstrVal) == orvanta::kServerGuid,
                   "Invoke ServerGUID");
            break;
        case orvanta::kMemberServerCategory:
            expect(v.vt == VT_BSTR && text_of(v.bstrVal) == orvanta::kServerCategory,
                   "Invoke ServerCategory");
            break;
        case orvanta::kMemberDefaultComponents: {
            if (v.vt != VT_DISPATCH || !v.pdispVal) return fail("Invoke DefaultComponents");
            rt::ComPtr<_Collection> list;
            expect_status(v.pdispVal->QueryInterface(IID__Collection, list.put_void()), S_OK,
                          "QI _Collection");
            if (list) read_catalogue(list.get());
            break;
        }
        case orvanta::kMemberIsAttachable:
            expect(v.vt == VT_I4 && v.lVal == orvanta::AttachNoList, "Invoke IsAttachable");
            break;
        case orvanta::kMemberGetAttachableGUIDs:
            expect(v.vt == VT_DISPATCH && v.pdispVal == nullptr, "Invoke GetAttachableGUIDs");
            break;
        case orvanta::kMemberGetMaximumLimit: {
            const orvanta::LimitAnswer expected = orvanta::find_limit_by_scan(question);
            expect(v.vt == VT_I4 && v.lVal == expected.maximum, "Invoke GetMaximumLimit maximum");
            expect(family_total == (expected.family_total ? VARIANT_TRUE : VARIANT_FALSE),
                   "Invoke GetMaximumLimit FamilyTotal");
            break;
        }
        default: fail("unexpected member"); break;
        }
    }

    // What a host does with a class object it shares: references taken and
    // dropped, the module locked and unlocked, the class object queried.
    void class_object_use()
    {
        factory_->AddRef();
        expect_status(factory_->LockServer(TRUE), S_OK, "LockServer(TRUE)");
        rt::ComPtr<IClassFactory> again;
        expect_status(factory_->QueryInterface(IID_IClassFactory, again.put_void()), S_OK,
                      "QI IClassFactory");
        expect(again.get() == factory_, "the class object changed");
        again.reset();
        expect(DllCanUnloadNow() == S_FALSE,
               "the module may unload while its class object is held");
        expect_status(factory_->LockServer(FALSE), S_OK, "LockServer(FALSE)");
        factory_->Release();
    }

    // Both faces answer for one object with one reference count.
    void faces(IServer* s)
    {
        rt::ComPtr<IDispatch> face;
        expect_status(s->QueryInterface(IID_IDispatch, face.put_void()), S_OK, "QI IDispatch");
        rt::ComPtr<IServer> back;
        if (face)
            expect_status(face->QueryInterface(IID_IServer, back.put_void()), S_OK, "QI IServer");
        expect(back.get() == s, "IServer face differs");
        rt::ComPtr<IUnknown> a, b;
        s->QueryInterface(IID_IUnknown, a.put_void());
        if (face) face->QueryInterface(IID_IUnknown, b.put_void());
        expect(a && a.get() == b.get(), "identity differs between faces");
    }

    int id_;
    IClassFactory* factory_;
    long calls_;
    long call_ = 0;
    const std::vector<std::u16string>& texts_;
    Failures& failures_;
    Random random_;
    rt::ComPtr<IServer> server_;
    rt::ComPtr<IServer> spare_;  // the previous instance, released a renewal later
};

class ThreadStress : public LeakCheckedTest {};

TEST_F(ThreadStress, EightThreadsShareOneClassObject)
{
    ASSERT_EQ(DllCanUnloadNow(), S_OK) << "something of the module is still in use";
    const long calls = calls_per_thread();
    const std::vector<std::u16string> texts = questions();

    IClassFactory* factory = nullptr;
    ASSERT_EQ(DllGetClassObject(CLSID_CTivOrvantaZNA100, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_NE(factory, nullptr);

    Failures failures;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] { Worker(t, factory, calls, texts, failures).run(); });
    for (auto& th : threads) th.join();

    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "the class object still holds the module";
    factory->Release();
    EXPECT_EQ(failures.count(), 0) << failures.report();
    EXPECT_EQ(DllCanUnloadNow(), S_OK) << "instances, collections or locks left behind";
    std::cout << "[ threads  ] " << kThreads << " threads x " << calls << " calls\n";
    RecordProperty("calls_per_thread", static_cast<int>(calls));
}

}  // namespace
