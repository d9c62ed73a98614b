// The verifier over any byte source: verify() reads a file through FileSource; the fuzzer and
// the tests read buffers in memory through MemorySource.
#pragma once

#include "pst/Verify.h"
#include "verify/Source.h"

namespace pst::verifier {

VerifyReport verifySource(ByteSource& source, const VerifyOptions& options = {});

} // namespace pst::verifier
