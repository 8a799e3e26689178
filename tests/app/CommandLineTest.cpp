// The window mode's command line: a mistyped option is refused on one line of stderr
// before the toolkit starts, as the other modes refuse theirs.
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

TEST(WindowCommandLine, AMistypedOptionIsRefusedBeforeTheToolkitStarts)
{
    const std::string help = " (see quillmere --help)\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bogus-option"}, "quillmere: unknown option '--bogus-option'" + help},
        {{"/tmp", "-style"}, "quillmere: option '-style' needs a value" + help},
        {{"--bogus\x1b]0;x\x07"}, "quillmere: unknown option '--bogus?]0;x?'" + help},
        {{"--report", "--bogus-option", "/tmp"}, "quillmere: unknown option '--bogus-option' for --report" + help},
    };
    for (const auto& [args, said] : cases) {
        // No display: a toolkit started all the same would abort instead.
        const auto r = testsupport::RunProgram(args, {"QT_QPA_PLATFORM=xcb", "DISPLAY=", "WAYLAND_DISPLAY="});
        EXPECT_EQ(r.status, 2) << said;
        EXPECT_EQ(r.err + r.out, said);
    }
}
