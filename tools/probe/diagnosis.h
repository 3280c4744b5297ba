// `orvanta-probe --diagnose`: whether a host of the probe's bitness can
// create the class on this machine, and if not, why and what mends it.
#pragma once

#include <string>
#include <vector>

namespace probe {

enum class Verdict { Pass, Warn, Fail };

struct Check {
    std::string check;
    Verdict status;
    std::string detail;
    std::string fix;  // for a failure: the command that mends it
};

struct Diagnosis {
    std::vector<Check> checks;
    int count(Verdict v) const;
    int failed() const { return count(Verdict::Fail); }
    int warnings() const { return count(Verdict::Warn); }
};

// `module_path` is the module a fix registers: the one beside the probe.
Diagnosis diagnose(const std::string& module_path);

std::string as_text(const Diagnosis& d);
std::string as_json(const Diagnosis& d);

}  // namespace probe
