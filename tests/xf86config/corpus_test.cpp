// Every real file of the corpus: accepted files come back byte for byte and
// survive edits that change only what they touch; files the X server refuses
// are refused with the server's diagnostic.
#include "support/diagnostics.h"
#include "support/files.h"
#include "support/corpus.h"
#include "xf86config/xf86config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

namespace fs = std::filesystem;
using cvx::test::conf_files;
using cvx::test::read_file;
using cvx::test::take_diagnostics;

namespace {

XF86ConfigHolder parse(const std::string& text, const std::string& name)
{
    return XF86ConfigHolder(xf86parseConfigText(text, name.c_str()));
}

// Lines (with their terminators) of a text, as a multiset.
std::map<std::string, int> line_counts(const std::string& text)
{
    std::map<std::string, int> out;
    std::size_t p = 0;
    while (p < text.size()) {
        std::size_t e = text.find('\n', p);
        e = e == std::string::npos ? text.size() : e + 1;
        std::string line = text.substr(p, e - p);
        if (!line.empty() && line.back() != '\n')
            line.push_back('\n');   // the last line may lose "no final newline" when text is added after it
        ++out[line];
        p = e;
    }
    return out;
}

// Lines only in `a` (removed) and only in `b` (added).
void diff_lines(const std::string& a, const std::string& b, std::vector<std::string>& removed,
                std::vector<std::string>& added)
{
    auto ca = line_counts(a), cb = line_counts(b);
    for (auto& [line, n] : ca)
        for (int k = cb.count(line) ? cb[line] : 0; k < n; ++k)
            removed.push_back(line);
    for (auto& [line, n] : cb)
        for (int k = ca.count(line) ? ca[line] : 0; k < n; ++k)
            added.push_back(line);
}

bool contains_nocase(std::string hay, std::string needle)
{
    auto low = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
        return s;
    };
    return low(hay).find(low(needle)) != std::string::npos;
}

class Corpus : public ::testing::Test {
protected:
    void SetUp() override
    {
        CVX_SKIP_WITHOUT_CORPUS(CVX_XORG_CORPUS);
        files = conf_files(CVX_XORG_CORPUS);
        ASSERT_GE(files.size(), 40u);
        take_diagnostics();
    }
    std::vector<fs::path> files;
};

}  // namespace

TEST_F(Corpus, EveryAcceptedFileRoundTripsByteForByte)
{
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.filename().string());
        const std::string text = read_file(f);
        auto tree = parse(text, f.filename());
        ASSERT_TRUE(tree) << take_diagnostics();
        EXPECT_EQ(xf86writeConfigText(tree.get()), text);
        auto again = parse(xf86writeConfigText(tree.get()), "again");
        ASSERT_TRUE(again);
        EXPECT_TRUE(xf86configEqual(tree.get(), again.get()));
        // A NUL at the very end drops nothing but takes the tokeniser that
        // joins lines: both tokenisers must read the file alike.
        auto slow = parse(text + '\0', f.filename());
        ASSERT_TRUE(slow);
        slow->trailing_text = tree->trailing_text;
        EXPECT_TRUE(xf86configEqual(tree.get(), slow.get()));
    }
}

TEST_F(Corpus, RejectedFilesFailWithTheServersDiagnostic)
{
    const std::map<std::string, std::string> expected = {
        {"01-xf86-33-fbdev-keyboard-pointer.conf", "Parse error on line 18 of section Keyboard"},
        {"02-xf86-33-sample-svga-vga16.conf", "Parse error on line 138 of section Keyboard"},
        {"04-xorgd-outputclass-c-comment.conf", "Parse error on line 13 of section OutputClass"},
        {"05-xorg-inputclass-typographic-quotes.conf", "Parse error on line 42 of section InputClass"},
        {"06-cvx-dualhead-fragment-lowercase.conf",
         "Undefined InputDevice \"Generic Keyboard\" referenced by ServerLayout \"Default Layout\"."},
        {"07-cvx-dualhead-screen-typo.conf", "Parse error on line 5 of section Device"},
    };
    auto rejected = conf_files(fs::path(CVX_XORG_CORPUS) / "rejected");
    ASSERT_EQ(rejected.size(), expected.size());
    for (const fs::path& f : rejected) {
        SCOPED_TRACE(f.filename().string());
        auto tree = parse(read_file(f), f.filename());
        EXPECT_FALSE(tree);
        std::string diag = take_diagnostics();
        ASSERT_TRUE(expected.count(f.filename()));
        EXPECT_NE(diag.find(expected.at(f.filename())), std::string::npos) << diag;
        EXPECT_NE(diag.find(f.filename().string()), std::string::npos) << diag;
    }
}

TEST_F(Corpus, ObsoleteKeywordIsAWarningNotAFailure)
{
    const fs::path f = fs::path(CVX_XORG_CORPUS) / "45-xorg7-vesa-rgbpath-obsolete-warning.conf";
    auto tree = parse(read_file(f), f.filename());
    ASSERT_TRUE(tree);
    ASSERT_EQ(xf86parseWarnings().size(), 1u);
    EXPECT_NE(xf86parseWarnings()[0].find("Ignoring obsolete keyword \"RgbPath\"."), std::string::npos);
}

// Each edit is applied to every file; afterwards the written text must parse
// to the edited tree, and every line that changed must belong to the edit.
struct Edit {
    const char* name;
    void (*apply)(XF86ConfigPtr);
    const char* removed_mark;   // every removed line contains this (null: nothing may be removed)
    const char* added_mark;     // every added line contains this
};

TEST_F(Corpus, EditsChangeOnlyWhatTheyTouch)
{
    const Edit edits[] = {
        {"add a Device option",
         [](XF86ConfigPtr t) {
             for (auto* d : xf86devices(t))
                 xf86addNewOption(d->options, "CvxProbe", std::string("on"));
         },
         nullptr, "CvxProbe"},
        {"replace every Driver",
         [](XF86ConfigPtr t) {
             for (auto* d : xf86devices(t))
                 d->driver = "cvxtest";
         },
         "Driver", "cvxtest"},
        {"set the first Display's Modes",
         [](XF86ConfigPtr t) {
             for (auto* s : xf86screens(t))
                 if (!s->displays.empty())
                     s->displays.front().modes = {"1280x1024x"};
         },
         "Modes", "1280x1024x"},
        {"rename the first layout",
         [](XF86ConfigPtr t) {
             auto l = xf86layouts(t);
             if (!l.empty())
                 l.front()->identifier = "Corvex Twinscape configured.";
         },
         "Identifier", "Corvex Twinscape configured."},
        {"drop every Monitor option",
         [](XF86ConfigPtr t) {
             for (auto* m : xf86monitors(t))
                 m->options.clear();
         },
         "Option", "\x01"},
        {"add a mode line",
         [](XF86ConfigPtr t) {
             for (auto* m : xf86monitors(t)) {
                 XF86ConfModeLineRec ml;
                 ml.identifier = "1152x864cvx";
                 ml.clock = 108880;
                 ml.hdisplay = 1152; ml.hsyncstart = 1216; ml.hsyncend = 1344; ml.htotal = 1600;
                 ml.vdisplay = 864; ml.vsyncstart = 865; ml.vsyncend = 868; ml.vtotal = 900;
                 ml.flags = XF86CONF_PHSYNC | XF86CONF_PVSYNC;
                 m->modelines.push_back(ml);
             }
         },
         nullptr, "1152x864cvx\" 108.88 1152 1216 1344 1600 864 865 868 900 +HSync +VSync"},
    };
    for (const Edit& e : edits) {
        for (const fs::path& f : files) {
            SCOPED_TRACE(std::string(e.name) + ": " + f.filename().string());
            const std::string text = read_file(f);
            auto tree = parse(text, f.filename());
            ASSERT_TRUE(tree);
            e.apply(tree.get());
            const std::string out = xf86writeConfigText(tree.get());
            auto again = parse(out, "edited");
            ASSERT_TRUE(again) << take_diagnostics() << out;
            EXPECT_TRUE(xf86configEqual(tree.get(), again.get())) << out;
            std::vector<std::string> removed, added;
            diff_lines(text, out, removed, added);
            for (const std::string& l : removed)
                EXPECT_TRUE(e.removed_mark && contains_nocase(l, e.removed_mark)) << "removed: " << l;
            for (const std::string& l : added)
                EXPECT_TRUE(contains_nocase(l, e.added_mark)) << "added: " << l;
        }
    }
}
