// The probe as a newcomer meets it: what each kind of command line prints,
// on which stream, and the exit status.
#include "tests/common/expected_identity.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

const std::string kProbe = ORVANTA_PROBE_PATH;
const std::string kModule = ORVANTA_MODULE_PATH;
const std::string kFolder = kModule.substr(0, kModule.rfind('/'));

struct Outcome {
    int status;
    std::string out;
};

// `streams` picks what is captured: "2>/dev/null" for standard output alone,
// "2>&1 >/dev/null" for standard error alone.
Outcome run(const std::string& arguments, const std::string& streams)
{
    const std::string command =
        "cd '" + kFolder + "' && '" + kProbe + "' " + arguments + " " + streams;
    Outcome r{-1, ""};
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(ProbeCommandLine, AnswersEachInputAsDocumented)
{
    const std::string kUsage = "usage: orvanta-probe [--module PATH] [--json]\n";
    const struct {
        const char* arguments;
        const char* streams;
        int status;
        std::string begins, ends;
    } cases[] = {
        {"--help", "2>/dev/null", 0, kUsage, "Run it first when a host cannot create the class.\n"},
        {"-h", "2>/dev/null", 0, kUsage, "Run it first when a host cannot create the class.\n"},
        {"--bogus", "2>&1 >/dev/null", 2, "orvanta-probe: unknown option --bogus\n" + kUsage, ""},
        {"--module", "2>&1 >/dev/null", 2, "orvanta-probe: --module needs a PATH\n" + kUsage, ""},
        {"--version", "2>/dev/null", 0,
         "orvanta-probe " EXPECTED_VERSION_TEXT " (" EXPECTED_FILE_VERSION "), 64-bit\n", ""},
        {"--module libTivOrvantaZNA100.so", "2>/dev/null", 0,
         "module: ./libTivOrvantaZNA100.so, no version block, 64-bit\nIdentity\n",
         "all steps passed\n"},
        {"--module orvanta-tests", "2>&1 >/dev/null", 1,
         "orvanta-probe: cannot load ./orvanta-tests: ", ""},
        {"--module CTestTestfile.cmake", "2>&1 >/dev/null", 1,
         "orvanta-probe: cannot load ./CTestTestfile.cmake: ", "; it is not a module\n"},
        {"--module libnothere.so", "2>&1 >/dev/null", 1,
         "orvanta-probe: cannot load ./libnothere.so: ", "; no such file\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Outcome r = run(c.arguments, c.streams);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out.substr(0, c.begins.size()), c.begins);
        EXPECT_GE(r.out.size(), c.ends.size());
        if (r.out.size() >= c.ends.size()) {
            EXPECT_EQ(r.out.substr(r.out.size() - c.ends.size()), c.ends);
        }
    }
    // The JSON report stays as clients parse it: no header, no closing line.
    const Outcome json = run("--json", "2>/dev/null");
    EXPECT_EQ(json.out.substr(0, 1), "{");
    EXPECT_EQ(json.out.find("all steps passed"), std::string::npos);
}

}  // namespace
