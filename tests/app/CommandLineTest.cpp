// The window mode's command line: a mistyped option is refused on one line of stderr
// before the toolkit starts, as the other modes refuse theirs.
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

TEST(WindowCommandLine, AMistypedOptionIsRefusedBeforeTheToolkitStarts)
{
    // No display: a toolkit started anyway would abort instead.
    const std::vector<std::string> noDisplay = {"QT_QPA_PLATFORM=xcb", "DISPLAY=", "WAYLAND_DISPLAY="};
    const std::string help = " (see quillmere --help)\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bogus-option"}, "quillmere: unknown option '--bogus-option'" + help},
        {{"/tmp", "-x"}, "quillmere: unknown option '-x'" + help},
        {{"-style"}, "quillmere: option '-style' needs a value" + help},
        {{"--reverse=yes"}, "quillmere: unknown option '--reverse=yes'" + help},
        {{"--bogus\x1b]0;x\x07"}, "quillmere: unknown option '--bogus?]0;x?'" + help},
        {{"--report", "--bogus-option", "/tmp"}, "quillmere: unknown option '--bogus-option' for --report" + help},
    };
    for (const auto& [args, said] : cases) {
        const testsupport::RunResult r = testsupport::RunProgram(args, noDisplay);
        EXPECT_EQ(r.status, 2) << args.front();
        EXPECT_EQ(r.err, said);
        EXPECT_EQ(r.out, "");
    }
}

} // namespace
