// The bundled sample databases match their generator (what they hold reaches the PST: see
// convert.samples.compare).
#include "notes_test_support.h"

#include <cstdlib>

namespace notes_test {
namespace {

    const std::string Samples = std::string(FERRYMARK_SOURCE_DIR) + "/samples/";

    using SamplesTest = NotesTest;

    TEST_F(SamplesTest, GeneratorWritesTheBundledFiles)
    {
        const std::string python = FERRYMARK_PYTHON;
        if (!fs::exists(python))
            GTEST_SKIP() << python << " is missing";
        const std::string command = python + " '" + Samples + "generate.py' '" + dir_.string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        for (const char* name : { "mailfile.dxl", "personaljournal.dxl" })
            EXPECT_TRUE(readFile(dir_ / name) == readFile(Samples + name))
                << name << " differs from what samples/generate.py writes; run it again";
    }

} // namespace
} // namespace notes_test
