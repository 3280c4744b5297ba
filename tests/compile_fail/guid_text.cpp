// Compiled by the test suite with GUID_TEXT set to each malformed text, which
// must not compile, and once to a well-formed one, which must.
#include "frame/iserver.h"

constexpr GUID kParsed = orvanta::guid_of(GUID_TEXT);

int main() { return kParsed.Data1 == 0; }
