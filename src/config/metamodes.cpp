// The merged display's MetaModes and companions, rebuilt from Display 1 and
// Display 2 every time the tree is written in merged mode.
//
// Choices where the pairing rule is silent:
// - A display's list is the Modes of its Display subsection for its default
//   depth; when it has none, the first subsection without a Depth line (the
//   one the X server applies to any depth); when that yields no name either,
//   the other display's list, so each name is paired with itself. When both are
//   empty there are no pairs and MetaModes is set to the empty text.
// - A name that does not begin with width "x" height counts as 0 x 0: it is
//   paired by area like any other but never widens the desktop. Negative
//   sizes count as 0.
// - The lists, the text and the union have no fixed limit.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

#include "config/config.h"
#include "config/internal.h"

using namespace cvx::config;

namespace {

struct ModeEntry {
    std::string name;
    int width = 0, height = 0;
    long long area() const { return static_cast<long long>(width) * height; }
};

// " %d": leading blanks, an optional sign, digits. False on anything else or
// on a number that does not fit an int.
bool scan_int(const char*& p, const char* end, int& out)
{
    while (p < end && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    long long value = 0;
    auto res = std::from_chars(p, end, value);
    if (res.ec != std::errc() || res.ptr == p)
        return false;
    if (negative)
        value = -value;
    if (value < INT_MIN || value > INT_MAX)
        return false;
    p = res.ptr;
    out = static_cast<int>(value);
    return true;
}

ModeEntry make_entry(const std::string& name)
{
    ModeEntry entry;
    entry.name = name;
    const char* p = name.data();
    const char* end = p + name.size();
    int w = 0, h = 0;
    if (scan_int(p, end, w) && p < end && *p == 'x' && scan_int(++p, end, h)) {
        entry.width = std::max(w, 0);
        entry.height = std::max(h, 0);
    }
    return entry;
}

std::vector<ModeEntry> read_modes(XF86ConfScreenPtr screen)
{
    std::vector<ModeEntry> list;
    const XF86ConfDisplayRec* display = display_for_depth(screen, confGetDefaultDepthFromScreenPtr(nullptr, screen));
    if (!display)
        display = display_for_depth(screen, 0);
    if (display)
        for (const std::string& name : display->modes)
            list.push_back(make_entry(name));
    return list;
}

long long distance(long long a, long long b)
{
    return a > b ? a - b : b - a;
}

// The union becomes the merged section's Modes for its default depth. A depth
// that the Modes operation refuses (none, or 15) would leave the list emptied,
// so such a subsection is written here directly.
void set_merged_modes(XF86ConfigPtr tree, XF86ConfScreenPtr merged, const std::vector<std::string>& names)
{
    int depth = confGetDefaultDepthFromScreenPtr(tree, merged);
    if (depth == 8 || depth == 16 || depth == 24 || depth == 32) {
        std::vector<const char*> ptrs;
        ptrs.reserve(names.size());
        for (const std::string& n : names)
            ptrs.push_back(n.c_str());
        confSetResolutionsFromScreenPtr(tree, merged, static_cast<int>(ptrs.size()), ptrs.data(), depth);
        return;
    }
    XF86ConfDisplayPtr display = display_for_depth(merged, depth);
    if (!display) {
        merged->displays.emplace_back();
        display = &merged->displays.back();
        display->depth = depth;
    }
    display->modes = names;
}

std::string ranges_text(const std::vector<XF86ConfRange>& ranges)
{
    std::string text;
    for (const XF86ConfRange& r : ranges) {
        text += format_one_decimal(r.lo);
        text += '-';
        text += format_one_decimal(r.hi);
        text += ' ';
    }
    return text;
}

int clamp_int(long long v)
{
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

}  // namespace

void FitDesk(int* W, int* H, int whereValue, int w1, int h1, int w2, int h2)
{
    if (!W || !H)
        return;
    long long width, height;
    if (whereValue == CONF_ADJ_RIGHTOF || whereValue == CONF_ADJ_LEFTOF) {
        width = static_cast<long long>(w1) + w2;
        height = std::max(h1, h2);
    } else if (whereValue == CONF_ADJ_ABOVE || whereValue == CONF_ADJ_BELOW) {
        width = std::max(w1, w2);
        height = static_cast<long long>(h1) + h2;
    } else {
        width = std::max(w1, w2);
        height = std::max(h1, h2);
    }
    *W = std::max(*W, clamp_int(width));
    *H = std::max(*H, clamp_int(height));
}

XF86ConfigPtr confGenerateMetaModes(XF86ConfigPtr tree)
{
    if (!tree || xf86screens(tree).empty())
        return nullptr;
    if (!confMergedFBIsActive(tree))
        return tree;
    XF86ConfMonitorPtr monitorMerged = FindMonitor(tree, 2);
    XF86ConfMonitorPtr monitor1 = FindMonitor(tree, 0);
    XF86ConfMonitorPtr monitor2 = FindMonitor(tree, 1);
    XF86ConfScreenPtr screenMerged = FindScreen(tree, 2);
    XF86ConfScreenPtr screen1 = FindScreen(tree, 0);
    XF86ConfScreenPtr screen2 = FindScreen(tree, 1);
    if (!monitorMerged || !monitor1 || !monitor2 || !screenMerged || !screen1 || !screen2)
        return nullptr;

    // The placement as the layout states it; the global stays the main
    // window's copy.
    int placement = where;
    confGetServerLayout(tree, nullptr, &placement, nullptr);

    std::vector<ModeEntry> a = read_modes(screen1);
    std::vector<ModeEntry> b = read_modes(screen2);
    if (a.empty())
        a = b;
    else if (b.empty())
        b = a;
    const size_t nA = a.size(), nB = b.size();

    std::string text;
    int W = 0, H = 0;
    if (nA > 0 && nB > 0) {
        // One step of look-ahead reads the repeated last entry.
        a.push_back(a.back());
        b.push_back(b.back());
        size_t i = 0, j = 0;
        while (i < nA || j < nB) {
            text += a[i].name;
            text += '-';
            text += b[j].name;
            text += ' ';
            FitDesk(&W, &H, placement, a[i].width, a[i].height, b[j].width, b[j].height);
            if (i == nA) {
                ++j;
            } else if (j == nB) {
                ++i;
            } else if (a[i].area() == b[j].area()) {
                ++i;
                ++j;
            } else {
                long long d = distance(a[i].area(), b[j].area());
                if (distance(a[i + 1].area(), b[j].area()) < d)
                    ++i;
                else if (distance(a[i].area(), b[j + 1].area()) < d)
                    ++j;
                else {
                    ++i;
                    ++j;
                }
            }
        }
        a.pop_back();
        b.pop_back();
    }

    for (const ModeEntry& ea : a)
        for (const ModeEntry& eb : b)
            if (ea.name == eb.name) {
                text += ea.name;
                text += ' ';
                FitDesk(&W, &H, CONF_ADJ_ABSOLUTE, ea.width, ea.height, ea.width, ea.height);
            }

    std::printf("Metamodes: %s \n", text.c_str());
    xf86addNewOption(screenMerged->options, "MetaModes", text);

    std::vector<std::string> unionList;
    std::unordered_set<std::string> seen;
    for (const ModeEntry& e : a) {
        seen.insert(e.name);
        unionList.push_back(e.name);
    }
    for (const ModeEntry& e : b)
        if (seen.insert(e.name).second)
            unionList.push_back(e.name);
    set_merged_modes(tree, screenMerged, unionList);

    // After the Modes list, so that a subsection created for it gets the
    // Virtual size too.
    for (XF86ConfDisplayRec& display : screenMerged->displays) {
        display.virtual_x = W;
        display.virtual_y = H;
    }

    std::vector<XF86ConfModeLineRec> copies;
    copies.reserve(monitor1->modelines.size() + monitor2->modelines.size());
    for (const XF86ConfMonitorPtr source : {monitor1, monitor2})
        for (const XF86ConfModeLineRec& m : source->modelines) {
            XF86ConfModeLineRec copy;
            copy.identifier = m.identifier;
            copy.clock = m.clock;
            copy.hdisplay = m.hdisplay;
            copy.hsyncstart = m.hsyncstart;
            copy.hsyncend = m.hsyncend;
            copy.htotal = m.htotal;
            copy.vdisplay = m.vdisplay;
            copy.vsyncstart = m.vsyncstart;
            copy.vsyncend = m.vsyncend;
            copy.vtotal = m.vtotal;
            copy.flags = m.flags;
            copy.vscan = m.vscan;
            copy.hskew = m.hskew;
            copies.push_back(std::move(copy));
        }
    // Equal content keeps the parsed records, so an unchanged section is
    // written back as it stood.
    if (!(monitorMerged->modelines == copies))
        monitorMerged->modelines = std::move(copies);

    confSetOption(screenMerged->options, "Monitor2HSync", ranges_text(monitor2->hsync).c_str());
    confSetOption(screenMerged->options, "Monitor2VRefresh", ranges_text(monitor2->vrefresh).c_str());
    return tree;
}
