// libFuzzer entry: any bytes as a Data file, through the corpus replay's check.
#include "roundtrip_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString fault =
        roundTripFault(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!fault.isEmpty())
        qFatal("round trip: %s", qUtf8Printable(fault));
    return 0;
}
