// The test X server must offer what the program relies on: VidMode 0.6 or
// later everywhere, two heads under Xinerama, two X screens without it.
#include <cstdlib>
#include <filesystem>

// gtest before Xlib: Xlib's macros (None, Bool) break gtest's templates.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/xf86vmode.h>

#include "support/xserver.h"

using cvx::test::XServer;
using cvx::test::XServerOptions;

namespace {

struct Facts {
    bool vidmode = false;
    int screens = 0;
    bool xinerama = false;
    int heads = 0;
};

Facts probe(const std::string& display)
{
    Facts f;
    Display* d = XOpenDisplay(display.c_str());
    if (!d)
        return f;
    int major = 0, minor = 0;
    f.vidmode = XF86VidModeQueryVersion(d, &major, &minor) && (major > 0 || minor >= 6);
    f.screens = ScreenCount(d);
    f.xinerama = XineramaIsActive(d);
    if (f.xinerama) {
        XineramaScreenInfo* info = XineramaQueryScreens(d, &f.heads);
        XFree(info);
    }
    XCloseDisplay(d);
    return f;
}

}  // namespace

TEST(TestXServer, LayoutsOfferWhatTheProgramNeeds)
{
    {
        XServer x;
        EXPECT_STREQ(std::getenv("DISPLAY"), x.display().c_str());
        Facts f = probe(x.display());
        EXPECT_TRUE(f.vidmode);
        EXPECT_EQ(f.screens, 1);
        // The server's RandR answers Xinerama queries even for one head.
        if (f.xinerama) {
            EXPECT_EQ(f.heads, 1);
        }
    }
    {
        XServerOptions o;
        o.layout = "xinerama";
        XServer x(o);
        Facts f = probe(x.display());
        EXPECT_TRUE(f.vidmode);
        EXPECT_EQ(f.screens, 1);
        EXPECT_TRUE(f.xinerama);
        EXPECT_EQ(f.heads, 2);
    }
    {
        XServerOptions o;
        o.layout = "two";
        XServer x(o);
        Facts f = probe(x.display());
        EXPECT_EQ(f.screens, 2);
        EXPECT_TRUE(f.vidmode);
    }
}

TEST(TestXServer, StoppingRemovesTheServer)
{
    std::string display, dir;
    {
        XServer x;
        display = x.display();
        dir = x.dir();
        ASSERT_TRUE(probe(display).vidmode);
    }
    EXPECT_FALSE(std::filesystem::exists(dir));
    EXPECT_FALSE(probe(display).vidmode);
}

TEST(TestXServer, TempRootRedirectsAndCleansUp)
{
    std::string path;
    {
        cvx::test::TempRoot root;
        path = root.path();
        ASSERT_STREQ(std::getenv("CVXSCAPE_ROOT"), path.c_str());
        EXPECT_TRUE(std::filesystem::is_directory(root.file("tmp")));
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}
