// libFuzzer target for the PST verifier: any bytes, read as a PST from memory, must end in a
// report (findings or none), never a crash, a hang or unbounded memory.
#include "verify/Source.h"
#include "verify/VerifySource.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    pst::verifier::MemorySource source({ data, size });
    pst::VerifyOptions options;
    options.maxFindings = 50;
    (void)pst::verifier::verifySource(source, options);
    return 0;
}
