// What a save changes: the lines the preview highlights and the unified diff
// the command line prints, checked against patch(1) on the awkward cases
// (no newline at the end, empty sides, changes close together and far apart).
#include <cstdlib>

#include "config/diff.h"
#include "config_test_util.h"

using namespace cvx::test;
using cvx::config::changed_lines;
using cvx::config::unified_diff;

namespace {

// `before` patched with the diff from it to `after`; "(patch failed)" when
// patch refuses it.
std::string patched(const std::string& before, const std::string& after)
{
    TempDir dir;
    write_file(dir.file("f"), before);
    write_file(dir.file("d"), unified_diff(before, after, "f", "f (new)"));
    const std::string cmd = "patch --quiet --batch '" + dir.file("f") + "' < '" + dir.file("d") + "' > /dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0)
        return "(patch failed)";
    return read_file(dir.file("f"));
}

std::string numbered(int from, int to, const char* suffix = "")
{
    std::string out;
    for (int i = from; i <= to; ++i)
        out += "line " + std::to_string(i) + suffix + "\n";
    return out;
}

}  // namespace

TEST(SaveDiff, ChangedLinesAreTheNewSidesAddedAndChangedLines)
{
    EXPECT_TRUE(changed_lines("a\nb\nc\n", "a\nb\nc\n").empty());
    EXPECT_EQ(changed_lines("a\nb\nc\n", "a\nB\nc\n"), (std::vector<std::size_t>{1}));
    EXPECT_EQ(changed_lines("a\nc\n", "a\nb1\nb2\nc\n"), (std::vector<std::size_t>{1, 2}));
    // A removed line leaves nothing to mark on the new side.
    EXPECT_TRUE(changed_lines("a\nb\nc\n", "a\nc\n").empty());
    EXPECT_EQ(changed_lines("", "x\ny"), (std::vector<std::size_t>{0, 1}));
    // The same text with a newline added at the end changes the last line.
    EXPECT_EQ(changed_lines("a\nb", "a\nb\n"), (std::vector<std::size_t>{1}));
}

TEST(SaveDiff, UnifiedDiffHasHeadersHunksAndContext)
{
    EXPECT_EQ(unified_diff("same\n", "same\n", "f", "f (new)"), "");
    const std::string before = numbered(1, 10);
    std::string after = before;
    after.replace(after.find("line 5\n"), 7, "line five\n");
    EXPECT_EQ(unified_diff(before, after, "xorg.conf", "xorg.conf (new)"),
              "--- xorg.conf\n+++ xorg.conf (new)\n"
              "@@ -2,7 +2,7 @@\n line 2\n line 3\n line 4\n-line 5\n+line five\n line 6\n line 7\n line 8\n");
    // A missing final newline is marked on the side that lacks it.
    EXPECT_EQ(unified_diff("a\nb", "a\nc\n", "f", "g"),
              "--- f\n+++ g\n@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+c\n");
}

TEST(SaveDiff, PatchTurnsTheOldTextIntoTheNewOne)
{
    if (std::system("command -v patch > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "patch is not installed";
    const std::string forty = numbered(1, 40);
    std::string near = forty, far = forty;
    // Two changes six lines apart share a hunk; twenty apart they do not.
    near.replace(near.find("line 10\n"), 8, "ten\n");
    near.replace(near.find("line 17\n"), 8, "seventeen\nand more\n");
    far.replace(far.find("line 3\n"), 7, "");
    far.replace(far.find("line 30\n"), 8, "thirty\n");
    const struct { const char* what; std::string before, after; } cases[] = {
        {"one change", forty, near.substr(0, near.find("line 17"))},
        {"two changes close", forty, near},
        {"two changes far apart", forty, far},
        {"everything added", "", forty},
        {"everything removed", forty, ""},
        {"newline added at the end", "a\nb", "a\nb\n"},
        {"newline removed at the end", "a\nb\n", "a\nb"},
        {"last line changed without newline", forty + "tail", forty + "other tail"},
        {"first line added", forty, "new first\n" + forty},
        {"added after the last line", forty, forty + "new last\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(patched(c.before, c.after), c.after) << c.what << "\n"
                                                        << unified_diff(c.before, c.after, "f", "f (new)");
}
