// Shared pieces of the configuration model's tests.
#include "config_test_util.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

namespace cvx::test {

const char* const kSingleConf = R"(Section "ServerLayout"
    Identifier "Layout0"
    Screen 0 "Display 1" 0 0
EndSection

Section "ServerFlags"
    Option "AllowMouseOpenFail" "true"
EndSection

Section "Module"
    Load "dri"
    Load "glx"
EndSection

Section "Device"
    Identifier "CORVEX CARD 1"
    Driver "cvx"
    VendorName "Corvex"
    BoardName "C450"
    BusID "PCI:1:0:0"
    VideoRam 32768
    Option "NoHal"
EndSection

Section "Monitor"
    Identifier "Display 1"
    VendorName "ACME"
    HorizSync 31.5-82.0
    VertRefresh 50-75
    ModeLine "1024x768" 78.75 1024 1040 1136 1312 768 769 772 800 +hsync +vsync
EndSection

Section "Screen"
    Identifier "Display 1"
    Device "CORVEX CARD 1"
    Monitor "Display 1"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1280x1024" "1024x768" "800x600"
    EndSubSection
    SubSection "Display"
        Depth 16
        Modes "1024x768"
    EndSubSection
EndSection
)";

const char* const kForeignConf = R"(Section "ServerLayout"
    Identifier "Dual"
    Screen 0 "Screen0" 0 0
    Screen 1 "Screen1" RightOf "Screen0"
EndSection

Section "Device"
    Identifier "Card0"
    Driver "cvx"
    BusID "PCI:2:0:0"
    Option "NoHal"
EndSection

Section "Device"
    Identifier "Card1"
    Driver "cvx"
    BusID "PCI:2:0:0"
    Screen 1
EndSection

Section "Monitor"
    Identifier "Mon0"
    HorizSync 30-70
EndSection

Section "Monitor"
    Identifier "Mon1"
    HorizSync 30-60
    VertRefresh 56-76
EndSection

Section "Screen"
    Identifier "Screen0"
    Device "Card0"
    Monitor "Mon0"
    DefaultDepth 16
    SubSection "Display"
        Depth 16
        Modes "1024x768"
    EndSubSection
EndSection

Section "Screen"
    Identifier "Screen1"
    Device "Card1"
    Monitor "Mon1"
    DefaultDepth 16
    SubSection "Display"
        Depth 16
        Modes "800x600"
    EndSubSection
EndSection
)";

const char* const kPairViewConf = R"(Section "ServerLayout"
    Identifier "Corvex Twinscape configured."
    Screen "Display 1" LeftOf "Display 2"
    Screen "Display 2" 0 0
EndSection

Section "ServerFlags"
    Option "Xinerama"
EndSection

Section "Device"
    Identifier "CORVEX CARD 1"
    Driver "cvx"
    BusID "PCI:1:0:0"
    Option "hw cursor" "off"
EndSection

Section "Device"
    Identifier "CORVEX CARD 2"
    Driver "cvx"
    BusID "PCI:1:0:0"
    Screen 1
EndSection

Section "Monitor"
    Identifier "Display 1"
    HorizSync 31.5-82.0
EndSection

Section "Monitor"
    Identifier "Display 2"
    HorizSync 30.0-60.0
    VertRefresh 50.0-70.0
EndSection

Section "Screen"
    Identifier "Display 1"
    Device "CORVEX CARD 1"
    Monitor "Display 1"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1024x768" "800x600"
    EndSubSection
EndSection

Section "Screen"
    Identifier "Display 2"
    Device "CORVEX CARD 2"
    Monitor "Display 2"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "800x600" "640x480"
    EndSubSection
EndSection
)";

const char* const kMergedConf = R"(Section "ServerLayout"
    Identifier "Corvex Twinscape configured."
    Screen "Display Merged"
EndSection

Section "Device"
    Identifier "CORVEX CARD 1"
    Driver "cvx"
    BusID "PCI:1:0:0"
EndSection

Section "Device"
    Identifier "CORVEX CARD 2"
    Driver "cvx"
    BusID "PCI:1:0:0"
    Screen 1
EndSection

Section "Monitor"
    Identifier "Display 1"
    HorizSync 31.5-82.0
    ModeLine "1280x1024@75Hz:0" 135.0 1280 1296 1440 1688 1024 1025 1028 1066 +hsync +vsync
EndSection

Section "Monitor"
    Identifier "Display 2"
    HorizSync 30.0-60.0
    VertRefresh 50.0-70.0
    ModeLine "1024x768" 65.0 1024 1048 1184 1344 768 771 777 806 -hsync -vsync
EndSection

Section "Monitor"
    Identifier "Display Merged"
    ModeLine "stale" 25.2 640 656 752 800 480 490 492 525
EndSection

Section "Screen"
    Identifier "Display 1"
    Device "CORVEX CARD 1"
    Monitor "Display 1"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1280x1024" "1024x768" "800x600"
    EndSubSection
EndSection

Section "Screen"
    Identifier "Display 2"
    Device "CORVEX CARD 2"
    Monitor "Display 2"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1024x768" "800x600"
    EndSubSection
EndSection

Section "Screen"
    Identifier "Display Merged"
    Device "CORVEX CARD 1"
    Monitor "Display Merged"
    DefaultDepth 24
    Option "MergedFB"
    Option "Monitor2Position" "RightOf"
    SubSection "Display"
        Depth 24
        Modes "640x480"
    EndSubSection
EndSection
)";

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

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_text(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
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

XF86ConfigHolder open_silently(const std::string& path)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    XF86ConfigHolder tree(getConfigPtr(path.c_str()));
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return tree;
}

TempDir::TempDir()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : CVX_TEST_BUILD_DIR;
    std::string pattern = base + "/cvx-config-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed under " + base);
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests make directories read-only; give the owner back its rights first.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
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
