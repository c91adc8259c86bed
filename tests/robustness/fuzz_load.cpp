// libFuzzer entry: any bytes as a Data file must load without crash or hang and survive a save
// and a reload unchanged.
#include "roundtrip_check.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static unsigned long runs = 0, ambiguousRuns = 0;
    static const bool once = [] {
        silenceMessageBoxes();
        std::atexit([] { std::fprintf(stderr, "inputs checked: %lu, of them CP932 read as UTF-8 after saving: %lu\n", runs, ambiguousRuns); });
        return true;
    }();
    (void)once;
    bool ambiguous = false;
    const QString fault = roundTripFault(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), &ambiguous);
    ++runs;
    ambiguousRuns += ambiguous;
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "round trip: %s\n", qUtf8Printable(fault));
        std::abort();
    }
    return 0;
}
