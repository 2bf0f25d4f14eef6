#include "common/progress_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ProgressLine, describes_the_phase_with_what_is_known_of_it) {
    struct FiguresCase {
        const char* name;
        ProgressFigures figures;
        const char* line;
    };
    const FiguresCase cases[] = {
        {"a file of known size",
         {ProgressPhase::reading, 2.0, 12345678, 80000000, 0, 0},
         "reading 12.3 of 80.0 MB, 6.2 MB/s, 0:11 left"},
        {"copies whose size the units done estimate",
         {ProgressPhase::writing, 4.0, 100000000, 0, 1, 4},
         "writing 100.0 of about 400.0 MB, 25.0 MB/s, 0:12 left"},
        {"no unit done yet, and too soon for a rate",
         {ProgressPhase::writing, 0.05, 1000000, 0, 0, 7},
         "writing 1.0 MB"},
        {"a pipe: only the time",
         {ProgressPhase::reading, 75.5, -1, 0, 0, 0},
         "reading, 1:15 so far"},
        {"an hour left",
         {ProgressPhase::reading, 3600.0, 1500000000, 3000000000, 0, 0},
         "reading 1500.0 of 3000.0 MB, 0.4 MB/s, 1:00:00 left"},
    };
    for (const FiguresCase& c : cases) {
        SCOPED_TRACE(c.name);
        char text[progress_text_bytes];
        const int length = format_progress(c.figures, text);
        EXPECT_EQ(std::string(text, static_cast<std::size_t>(length)), c.line);
    }
}

}  // namespace
