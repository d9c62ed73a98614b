#include "pst/Verify.h"

#include "verify/Checker.h"
#include "verify/VerifySource.h"

namespace pst {

namespace verifier {

    VerifyReport verifySource(ByteSource& source, const VerifyOptions& options)
    {
        Checker checker(source, options);
        return checker.run();
    }

    VerifyReport Checker::run()
    {
        if (!readHeader())
            return std::move(report_);
        readBTrees();
        checkBlocks();
        checkNodes();
        checkRefCounts();
        readMaps();
        checkAllocation();
        extents_ = {};
        checkHeaderCounters();
        checkMandatoryNodes();
        for (const NbtEntry& n : nbt_)
            report_.messages += (n.nid & 0x1F) == 0x04;
        if (options_.checkLtp) {
            ltpBudget_ = 4 * bbt_.size() + 1000;
            checkMessaging();
        }
        return std::move(report_);
    }

} // namespace verifier

VerifyReport verify(const std::filesystem::path& pst, const VerifyOptions& options)
{
    verifier::FileSource source(pst);
    return verifier::verifySource(source, options);
}

std::string describe(const Finding& f)
{
    return f.code + " at " + f.where + ": expected " + f.expected + ", found " + f.actual;
}

} // namespace pst
