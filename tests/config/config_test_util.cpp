// Shared pieces of the configuration model's tests.
#include "config_test_util.h"


#include <gtest/gtest.h>

namespace cvx::test {

const std::string kSingleConf = fixture("single.conf");
const std::string kForeignConf = fixture("foreign.conf");
const std::string kPairViewConf = fixture("pairview.conf");
const std::string kMergedConf = fixture("merged.conf");
const char* const kSampleNames[4] = {"single.conf", "foreign.conf", "pairview.conf", "merged.conf"};

XF86ConfigHolder parse(std::string_view text)
{
    XF86ConfigHolder tree(xf86parseConfigText(text, "test.conf"));
    EXPECT_TRUE(tree) << "the sample does not parse:\n" << text;
    return tree;
}

std::string text_of(XF86ConfigPtr tree)
{
    return xf86writeConfigText(tree);
}

XF86ConfigHolder reparse(XF86ConfigPtr tree)
{
    std::string text = text_of(tree);
    XF86ConfigHolder again(xf86parseConfigText(text, "written.conf"));
    EXPECT_TRUE(again) << "the written file does not parse:\n" << text;
    return again;
}

std::string corpus_file(const std::string& name)
{
    return std::string(CVX_CORPUS_DIR) + "/" + name;
}

size_t count_of(const std::string& text, const std::string& needle)
{
    size_t n = 0;
    for (size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + needle.size()))
        ++n;
    return n;
}

XF86ConfAdjacencyRec* line(XF86ConfigPtr tree, size_t n)
{
    auto layouts = xf86layouts(tree);
    if (layouts.empty() || layouts.front()->adjacencies.size() <= n)
        return nullptr;
    return &layouts.front()->adjacencies[n];
}

size_t line_count(XF86ConfigPtr tree)
{
    auto layouts = xf86layouts(tree);
    return layouts.empty() ? 0 : layouts.front()->adjacencies.size();
}

const XF86OptionRec* option(const XF86OptionList& list, const char* name)
{
    for (const XF86OptionRec& o : list)
        if (o.name == name)
            return &o;
    return nullptr;
}

const char* const kModeNames[4] = {"single", "pairview", "clone", "merged"};

XF86ConfigHolder open_silently(const std::string& path, std::string* out, std::string* err)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    XF86ConfigHolder tree(getConfigPtr(path.c_str()));
    std::string o = testing::internal::GetCapturedStdout();
    std::string e = testing::internal::GetCapturedStderr();
    if (out)
        *out = std::move(o);
    if (err)
        *err = std::move(e);
    return tree;
}

bool save_opened(XF86ConfigPtr tree, const char* backup, std::string& message)
{
    confAdoptBackupPath(confOpenedFile, backup);
    return confSaveConfiguration(confOpenedFile, tree, message);
}

namespace {
std::vector<MessageRecorder::Message> g_messages;
void record(const char* title, const char* text, unsigned char mustExit)
{
    g_messages.push_back({title ? title : "", text ? text : "", mustExit});
}
}  // namespace

MessageRecorder::MessageRecorder()
{
    g_messages.clear();
    confMessageHook = record;
}

MessageRecorder::~MessageRecorder()
{
    confMessageHook = nullptr;
    g_messages.clear();
}

const std::vector<MessageRecorder::Message>& MessageRecorder::messages() const { return g_messages; }
void MessageRecorder::clear() { g_messages.clear(); }

}  // namespace cvx::test
