// Pieces shared by the fuzz targets: a reader that turns the fuzzer's bytes
// into choices, and a check that stops the run with a message.
#pragma once

#include "runtime/automation.h"
#include "runtime/fault_injection.h"
#include "runtime/module_state.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzing {

// Reads choices from the input; past its end every read gives 0, so any
// input, however short, is a complete script.
class Reader {
public:
    Reader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    std::size_t left() const { return at_ < size_ ? size_ - at_ : 0; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t unit()
    {
        const uint16_t low = byte();
        return static_cast<uint16_t>(low | (byte() << 8));
    }
    uint32_t word()
    {
        const uint32_t low = unit();
        return low | (static_cast<uint32_t>(unit()) << 16);
    }
    uint64_t wide()
    {
        const uint64_t low = word();
        return low | (static_cast<uint64_t>(word()) << 32);
    }
    // A choice among n (n >= 1).
    std::size_t below(std::size_t n) { return byte() % n; }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

[[noreturn]] inline void fail(const char* what, const std::string& detail = std::string())
{
    std::fprintf(stderr, "\n*** check failed: %s%s%s\n", what, detail.empty() ? "" : ": ",
                 detail.c_str());
    std::abort();
}

inline void check(bool ok, const char* what, const std::string& detail = std::string())
{
    if (!ok) fail(what, detail);
}

inline std::string hex(uint32_t value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(value));
    return buf;
}

inline void check_status(HRESULT got, HRESULT wanted, const char* what)
{
    if (got != wanted)
        fail(what, "status " + hex(static_cast<uint32_t>(got)) + ", expected " +
                       hex(static_cast<uint32_t>(wanted)));
}

inline std::string printable(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}

// Live strings and module objects when constructed; check() demands the same.
class LiveCounts {
public:
    LiveCounts() : strings_(rt::live_strings()), objects_(rt::live_objects()) {}
    void check() const
    {
        fuzzing::check(rt::live_strings() == strings_, "automation strings leaked or over-freed",
                       std::to_string(rt::live_strings() - strings_));
        fuzzing::check(rt::live_objects() == objects_, "module objects leaked or over-released",
                       std::to_string(rt::live_objects() - objects_));
    }

private:
    long strings_;
    long objects_;
};

}  // namespace fuzzing
