// libFuzzer entry: any bytes as a Data file, through the corpus replay's check.
#include "roundtrip_check.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString fault = roundTripFault(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "round trip: %s\n", qUtf8Printable(fault));
        std::abort();
    }
    return 0;
}
