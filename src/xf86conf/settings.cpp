// xf86conf show and set: what the main window and the display modes dialog
// show for a file, and the same edits their controls make, through the same
// functions of the configuration model, saved with the program's own save
// sequence. Safe to run twice: an edit that changes nothing writes nothing.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "config/config.h"
#include "config/diff.h"
#include "xf86conf/tool.h"

namespace xf86conf {
namespace {

constexpr const char* kModeNames[] = {"single", "multi", "clone", "merged"};
constexpr ConfDisplayMode kModes[] = {CONF_MODE_SINGLE, CONF_MODE_MULTI, CONF_MODE_CLONE, CONF_MODE_MERGED};
// Indexed by the layout's relation value (CONF_ADJ_RIGHTOF = 1 ... CONF_ADJ_BELOW = 4).
constexpr const char* kRelationNames[] = {nullptr, "rightof", "leftof", "above", "below"};
constexpr const char* kOutputNames[] = {"analog", "digital", "tv-ntsc", "tv-pal"};
constexpr const char* kCables[] = {"YC_COMPOSITE", "SCART_COMPOSITE", "SCART_TYPE2", "SCART_RGB"};

// A usage error: the message, then nothing written.
int refuse(const std::string& message)
{
    std::fprintf(stderr, "xf86conf: %s (see xf86conf --help)\n", message.c_str());
    return kUsage;
}

template <std::size_t N>
int index_of(const char* const (&names)[N], std::string_view name)
{
    for (std::size_t i = 0; i < N; ++i)
        if (names[i] && name == names[i])
            return static_cast<int>(i);
    return -1;
}

bool parse_number(std::string_view text, int& out)
{
    if (text.empty() || text.size() > 6)
        return false;
    out = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

// "D=VALUE" with D 1 or 2: the display index (0 or 1) and VALUE.
bool split_display(std::string_view arg, int& display, std::string_view& value)
{
    if (arg.size() < 3 || arg[1] != '=' || (arg[0] != '1' && arg[0] != '2'))
        return false;
    display = arg[0] - '1';
    value = arg.substr(2);
    return true;
}

std::vector<std::string> split_commas(std::string_view text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        out.emplace_back(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos)
            return out;
        start = comma + 1;
    }
}

// A mode name the file can carry and the MetaModes generation can size:
// WIDTHxHEIGHT first, then printable characters without blanks or quotes.
bool well_formed_mode(const std::string& name)
{
    int w = 0, h = 0, used = 0;
    if (std::sscanf(name.c_str(), "%dx%d%n", &w, &h, &used) != 2 || w <= 0 || h <= 0 || !std::isdigit(name[0]))
        return false;
    for (unsigned char c : name)
        if (c <= ' ' || c >= 0x7f || c == '"')
            return false;
    return name.size() < 255;
}

bool well_formed_busid(std::string_view text)
{
    if (text.substr(0, 4) != "PCI:")
        return false;
    std::string rest(text.substr(4));
    int fields = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = rest.find(':', start);
        int n = 0;
        if (!parse_number(std::string_view(rest).substr(start, colon == std::string::npos ? std::string::npos
                                                                                           : colon - start),
                          n))
            return false;
        ++fields;
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return fields == 3;
}

struct DisplayEdits {
    std::optional<int> depth;
    std::optional<std::vector<std::string>> modes;
    std::optional<ConfOutputType> output;
    std::string cable;
};

struct Edits {
    std::string file;
    std::optional<ConfDisplayMode> mode;
    std::optional<int> relation;
    std::optional<bool> xinerama, hw_cursor;
    DisplayEdits display[2];
    std::optional<std::string> busid;
    bool dry_run = false, no_backup = false;
    std::optional<std::string> backup;

    bool any() const
    {
        return mode || relation || xinerama || hw_cursor || busid || display[0].depth || display[0].modes ||
               display[0].output || display[1].depth || display[1].modes || display[1].output;
    }
};

std::optional<bool> on_off(std::string_view value)
{
    if (value == "on")
        return true;
    if (value == "off")
        return false;
    return std::nullopt;
}

// Parses the arguments after "set"; an error message, or "" when valid.
std::string parse_set(int argc, char** argv, Edits& e)
{
    for (int i = 0; i < argc; ++i) {
        const std::string_view opt = argv[i];
        if (opt == "--dry-run") {
            e.dry_run = true;
            continue;
        }
        if (opt == "--no-backup") {
            e.no_backup = true;
            continue;
        }
        if (opt.substr(0, 2) != "--") {
            if (!e.file.empty())
                return "one FILE only: " + std::string(opt);
            e.file = opt;
            continue;
        }
        if (i + 1 >= argc)
            return std::string(opt) + " needs a value";
        const std::string_view value = argv[++i];
        int d = 0;
        std::string_view v;
        if (opt == "--mode") {
            const int m = index_of(kModeNames, value);
            if (m < 0)
                return "unknown mode " + std::string(value);
            e.mode = kModes[m];
        } else if (opt == "--relation") {
            const int r = index_of(kRelationNames, value);
            if (r < 0)
                return "unknown relation " + std::string(value);
            e.relation = r;
        } else if (opt == "--xinerama" || opt == "--hw-cursor") {
            const std::optional<bool> on = on_off(value);
            if (!on)
                return std::string(opt) + " takes on or off, not " + std::string(value);
            (opt == "--xinerama" ? e.xinerama : e.hw_cursor) = on;
        } else if (opt == "--depth" || opt == "--modes" || opt == "--output") {
            if (!split_display(value, d, v))
                return std::string(opt) + " takes D=VALUE with display 1 or 2, not " + std::string(value);
            DisplayEdits& de = e.display[d];
            if (opt == "--depth") {
                int depth = 0;
                if (!parse_number(v, depth) || (depth != 8 && depth != 16 && depth != 24 && depth != 32))
                    return "depth must be 8, 16, 24 or 32, not " + std::string(v);
                de.depth = depth;
            } else if (opt == "--modes") {
                std::vector<std::string> names = split_commas(v);
                for (const std::string& name : names)
                    if (!well_formed_mode(name))
                        return "malformed mode name \"" + name + "\" (WIDTHxHEIGHT, then no blanks or quotes)";
                de.modes = std::move(names);
            } else {
                const std::vector<std::string> parts = split_commas(v);
                const int type = index_of(kOutputNames, parts[0]);
                if (type < 0 || parts.size() > 2)
                    return "unknown output " + std::string(v);
                de.output = static_cast<ConfOutputType>(type);
                de.cable = kCables[0];
                if (parts.size() == 2) {
                    if (type != CONF_OUTPUT_TV_NTSC && type != CONF_OUTPUT_TV_PAL)
                        return "a cable type goes with tv-ntsc or tv-pal only";
                    if (index_of(kCables, parts[1]) < 0)
                        return "unknown cable type " + parts[1];
                    de.cable = parts[1];
                }
            }
        } else if (opt == "--busid") {
            if (!well_formed_busid(value))
                return "BusID must read PCI:BUS:DEVICE:FUNCTION, not " + std::string(value);
            e.busid = value;
        } else if (opt == "--backup") {
            if (value.empty())
                return "--backup needs a path";
            e.backup = value;
        } else {
            return "unknown edit " + std::string(opt);
        }
    }
    if (e.file.empty())
        return "set needs a FILE";
    if (!e.any())
        return "set needs at least one edit";
    if (e.backup && e.no_backup)
        return "--backup and --no-backup exclude each other";
    return {};
}

// The model's console lines ("Metamodes: ...", lookup failures) go to
// standard output in the program; here standard output carries the result
// (the diff, the JSON), so they go to standard error while the model works.
class ModelConsoleToStderr {
public:
    ModelConsoleToStderr()
    {
        std::fflush(stdout);
        m_saved = ::dup(1);
        if (m_saved >= 0)
            ::dup2(2, 1);
    }
    ~ModelConsoleToStderr() { restore(); }
    void restore()
    {
        std::fflush(stdout);
        if (m_saved >= 0) {
            ::dup2(m_saved, 1);
            ::close(m_saved);
        }
        m_saved = -1;
    }
    ModelConsoleToStderr(const ModelConsoleToStderr&) = delete;
    ModelConsoleToStderr& operator=(const ModelConsoleToStderr&) = delete;
private:
    int m_saved = -1;
};

// The 640 x 480 notice and the like: standard error, as the windows' box.
void notice_to_stderr(const char* title, const char* text, unsigned char)
{
    std::fprintf(stderr, "%s: %s\n", title, text);
}

// Brings a freshly parsed tree into the state the main window shows it in.
XF86ConfigPtr prepare_like_main_window(XF86ConfigPtr tree)
{
    if (!tree)
        return nullptr;
    take_diagnostics();
    for (const std::string& w : xf86parseWarnings())
        std::fprintf(stderr, "warning: %s\n", w.c_str());
    pXF86Config = tree;
    where = 0;
    confPrepareTree(tree);
    confOpenDisplayMode(tree);
    confMatchModulesToXinerama(tree);
    return tree;
}

// Reads FILE as the program's configuration-file window does and prepares
// it. Null when it cannot be read or parsed (diagnostics printed).
XF86ConfigPtr open_like_main_window(const char* file)
{
    return prepare_like_main_window(read_named(file));
}

// The text of the file `set` holds open, parsed and prepared the same way.
XF86ConfigPtr open_like_main_window(const ConfOpenedFile& opened)
{
    XF86ConfigPtr tree = xf86parseConfigText(opened.text, opened.path.c_str());
    if (!tree)
        std::fputs(take_diagnostics().c_str(), stderr);
    return prepare_like_main_window(tree);
}

// ---------------------------------------------------------------- show

void append_json_string(std::string& out, std::string_view text)
{
    out += '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

struct DisplayView {
    int number = 0;
    int depth = 0;
    std::vector<std::string> modes;
    ConfOutputType output = CONF_OUTPUT_ANALOG;
    const char* cable = nullptr;
    std::vector<std::string> modelines;
};

DisplayView view_of(XF86ConfigPtr tree, int index)
{
    DisplayView v;
    v.number = index + 1;
    v.depth = confGetDefaultDepth(tree, index);
    std::vector<const char*> names(512, nullptr);
    const int n = confGetResolutions(tree, index, v.depth, names.data(), static_cast<int>(names.size()));
    for (int i = 0; i < n; ++i)
        v.modes.emplace_back(names[i]);
    v.output = confGetOutputType(tree, index);
    if (v.output == CONF_OUTPUT_TV_NTSC || v.output == CONF_OUTPUT_TV_PAL)
        v.cable = confGetCableType(tree, index);
    if (const auto* lines = confGetUserModeLines(tree, index))
        for (const XF86ConfModeLineRec& line : *lines)
            v.modelines.push_back(line.identifier);
    return v;
}

std::string relation_name(XF86ConfigPtr tree, ConfDisplayMode mode)
{
    if (mode != CONF_MODE_MULTI && mode != CONF_MODE_MERGED)
        return {};
    const int r = confGetDisplayRelation(tree);
    return r >= CONF_ADJ_RIGHTOF && r <= CONF_ADJ_BELOW ? kRelationNames[r] : "";
}

std::string show_json(XF86ConfigPtr tree, ConfDisplayMode mode, const std::vector<DisplayView>& displays)
{
    std::string out = "{\"mode\": ";
    append_json_string(out, kModeNames[mode]);
    const std::string relation = relation_name(tree, mode);
    out += ", \"relation\": ";
    if (relation.empty())
        out += "null";
    else
        append_json_string(out, relation);
    out += std::string(", \"xinerama\": ") + (confXineramaIsActive(tree) ? "true" : "false");
    out += std::string(", \"hw_cursor\": ") + (confHWCursorIsActive(tree) ? "true" : "false");
    out += ", \"displays\": [";
    for (std::size_t i = 0; i < displays.size(); ++i) {
        const DisplayView& d = displays[i];
        if (i)
            out += ", ";
        out += "{\"display\": " + std::to_string(d.number) + ", \"depth\": " + std::to_string(d.depth) +
               ", \"modes\": [";
        for (std::size_t k = 0; k < d.modes.size(); ++k) {
            if (k)
                out += ", ";
            append_json_string(out, d.modes[k]);
        }
        out += "], \"output\": ";
        append_json_string(out, kOutputNames[d.output]);
        out += ", \"cable\": ";
        if (d.cable)
            append_json_string(out, d.cable);
        else
            out += "null";
        out += ", \"modelines\": [";
        for (std::size_t k = 0; k < d.modelines.size(); ++k) {
            if (k)
                out += ", ";
            append_json_string(out, d.modelines[k]);
        }
        out += "]}";
    }
    out += "]}\n";
    return out;
}

std::string joined(const std::vector<std::string>& names)
{
    std::string out;
    for (const std::string& n : names)
        out += (out.empty() ? "" : " ") + n;
    return out.empty() ? "(none)" : out;
}

std::string show_text(XF86ConfigPtr tree, ConfDisplayMode mode, const std::vector<DisplayView>& displays)
{
    std::string out = std::string("mode: ") + kModeNames[mode] + "\n";
    const std::string relation = relation_name(tree, mode);
    if (!relation.empty())
        out += "relation: display 1 " + relation + " display 2\n";
    out += std::string("xinerama: ") + (confXineramaIsActive(tree) ? "on" : "off") + "\n";
    out += std::string("hw cursor: ") + (confHWCursorIsActive(tree) ? "on" : "off") + "\n";
    for (const DisplayView& d : displays) {
        out += "display " + std::to_string(d.number) + ":\n";
        out += "  depth: " + std::to_string(d.depth) + "\n";
        out += "  modes: " + joined(d.modes) + "\n";
        out += std::string("  output: ") + kOutputNames[d.output] + (d.cable ? std::string(", ") + d.cable : "") + "\n";
        out += "  mode lines: " + joined(d.modelines) + "\n";
    }
    return out;
}

}  // namespace

int run_show(int argc, char** argv)
{
    const char* file = nullptr;
    bool json = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0)
            json = true;
        else if (argv[i][0] == '-' || file)
            return refuse(std::string("show takes FILE [--json], not ") + argv[i]);
        else
            file = argv[i];
    }
    if (!file)
        return refuse("show needs a FILE");
    confMessageHook = nullptr;   // opening shows no notice
    std::string out;
    {
        ModelConsoleToStderr quiet;
        XF86ConfigHolder tree(open_like_main_window(file));
        pXF86Config = nullptr;
        if (!tree)
            return kFileError;
        const ConfDisplayMode mode = confGetDisplayMode(tree.get());
        std::vector<DisplayView> displays;
        for (int index : {0, 1})
            if (FindScreen(tree.get(), index))
                displays.push_back(view_of(tree.get(), index));
        out = json ? show_json(tree.get(), mode, displays) : show_text(tree.get(), mode, displays);
    }
    return std::fwrite(out.data(), 1, out.size(), stdout) == out.size() && std::fflush(stdout) == 0 ? kDone
                                                                                                    : kFileError;
}

// ---------------------------------------------------------------- set

namespace {

// Applies the edits in the order a run through the windows makes them: the
// board's address, the main window's mode and check boxes, then each
// display's dialog (depth, resolutions, output type). A usage message when
// an edit does not fit the file, with the tree left to be dropped.
std::string apply(XF86ConfigPtr tree, const Edits& e)
{
    if (e.busid)
        confSetBusID(tree, e.busid->c_str());

    const ConfDisplayMode opened = confGetDisplayMode(tree);
    const ConfDisplayMode mode = e.mode.value_or(opened);
    const bool placed = mode == CONF_MODE_MULTI || mode == CONF_MODE_MERGED;
    if (e.relation && !placed)
        return "--relation needs the multi or merged mode";
    if (mode == CONF_MODE_CLONE && e.xinerama == false)
        return "clone mode always has Xinerama on";
    if (mode == CONF_MODE_MERGED && e.xinerama == true)
        return "merged mode always has Xinerama off";
    if (mode == CONF_MODE_MERGED && e.hw_cursor == true)
        return "merged mode always has the hardware cursor off";
    for (int d : {0, 1}) {
        const DisplayEdits& de = e.display[d];
        if (d == 1 && mode == CONF_MODE_SINGLE && (de.depth || de.modes || de.output))
            return "display 2 is not used in single mode";
    }

    if (e.relation)
        where = *e.relation;
    if (mode != opened)
        confSwitchDisplayMode(tree, opened, mode);
    else if (e.relation)
        confSetLayout(tree, where);

    if (e.xinerama)
        confSetXinerama(tree, *e.xinerama);
    if (e.hw_cursor)
        confSetHWCursor(tree, *e.hw_cursor);

    for (int d : {0, 1}) {
        const DisplayEdits& de = e.display[d];
        if (!de.depth && !de.modes && !de.output)
            continue;
        if (!getScreenFromIndex(tree, d))
            return "the file has no display " + std::to_string(d + 1);
        if (de.depth)
            confApplyDepth(tree, d, *de.depth);
        if (de.modes) {
            std::vector<const char*> names;
            for (const std::string& name : *de.modes)
                names.push_back(name.c_str());
            confApplyResolutions(tree, d, static_cast<int>(names.size()), names.data());
        }
        if (de.output)
            confApplyOutputType(tree, d, *de.output, de.cable.c_str());
    }
    return {};
}

}  // namespace

int run_set(int argc, char** argv)
{
    Edits e;
    if (const std::string error = parse_set(argc, argv, e); !error.empty())
        return refuse(error);

    // Read once, through the directory the save works in: the text compared,
    // parsed and backed up is the one the save then finds unchanged, or
    // nothing is written.
    ConfOpenedFile opened;
    if (!confAdoptOpenedFile(e.file.c_str(), opened)) {
        std::fprintf(stderr, "xf86conf: cannot read %s: %s\n", e.file.c_str(), std::strerror(errno));
        return kFileError;
    }
    const std::string backup = e.no_backup ? std::string() : e.backup.value_or(e.file + "_CVX-BACKUP");
    confAdoptBackupPath(opened, e.no_backup ? nullptr : backup.c_str());
    const std::string& before = opened.text;
    ModelConsoleToStderr quiet;
    confMessageHook = nullptr;
    XF86ConfigHolder tree(open_like_main_window(opened));
    if (!tree) {
        pXF86Config = nullptr;
        return kFileError;
    }
    confMessageHook = notice_to_stderr;
    const std::string error = apply(tree.get(), e);
    confMessageHook = nullptr;
    pXF86Config = nullptr;
    if (!error.empty())
        return refuse(error);

    const std::string after = confConfigText(tree.get());
    quiet.restore();
    if (after.empty()) {
        std::fprintf(stderr, "xf86conf: %s: the library cannot write this configuration faithfully\n",
                     e.file.c_str());
        return kFileError;
    }
    if (after == before) {
        std::printf("%s: unchanged\n", e.file.c_str());
        return kDone;
    }
    if (e.dry_run) {
        const std::string diff = cvx::config::unified_diff(before, after, e.file, e.file + " (new)");
        std::fwrite(diff.data(), 1, diff.size(), stdout);
        return kWouldChange;
    }
    std::string message;
    bool saved = false;
    {
        ModelConsoleToStderr quietSave;
        saved = confSaveConfiguration(opened, tree.get(), message);
    }
    if (!saved) {
        std::fprintf(stderr, "xf86conf: %s: %s\n", e.file.c_str(), message.c_str());
        return kFileError;
    }
    if (e.no_backup)
        std::printf("%s: changed\n", e.file.c_str());
    else
        std::printf("%s: changed (previous file kept at %s)\n", e.file.c_str(), backup.c_str());
    return kDone;
}

}  // namespace xf86conf
