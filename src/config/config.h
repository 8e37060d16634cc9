// The configuration model: everything the program does to the configuration
// tree in memory, with no toolkit and no X server.
//
// Conventions: operations that edit the tree return the tree (null on
// failure); tests return a one-byte boolean; getters return texts owned by
// the tree (valid until the tree changes). The program finds its own sections
// by exact, case-sensitive comparison of whole identifiers; option names are
// looked up with the library's comparison unless noted.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "core/fd.h"
#include "xf86config/xf86config.h"

// ---------------------------------------------------------------- globals

extern XF86ConfigPtr pXF86Config;           // the tree being edited; null until parsed
extern int where;                           // relation of Display 1 to Display 2 (CONF_ADJ_*)
extern unsigned char wasSingleHeadAtStartup;

// Screen/Monitor identifiers by display index, Device identifiers by device index.
extern const char* const edi2str[3];        // "Display 1", "Display 2", "Display Merged"
extern const char* const edevi2str[3];      // "CORVEX CARD 1", "CORVEX CARD 2", "CORVEX CARD 1"

// The one message box of this layer (MakeScreen's 640 x 480 notice) goes
// through this hook, installed by the program's shell; null = print nothing.
using ConfMessageHook = void (*)(const char* title, const char* text, unsigned char mustExit);
extern ConfMessageHook confMessageHook;

// ---------------------------------------------------------------- opening and saving

// The file a tree was parsed from, as it was then. The save sequence works on
// the directories held here, never on the names again: a directory on the
// path swapped for another one (or a link) between opening and saving cannot
// send the backup or the new file elsewhere. The new file and the backup take
// the owner and mode recorded here.
struct ConfOpenedFile {
    std::string path;          // as given; for messages and the path check
    cvx::Fd dir;               // the directory that held the file when it was opened
    std::string name;          // the file's name in `dir`
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    struct timespec mtime {};
    uid_t uid = 0;
    gid_t gid = 0;
    mode_t mode = 0;
    std::string text;          // the bytes that were parsed

    // The backup path, its directory held the same way; no path = no backup.
    std::optional<std::string> backupPath;
    cvx::Fd backupDir;
    std::string backupName;
    int backupError = 0;       // errno of a backup directory that could not be held
};

// The file pXF86Config was parsed from (filled by getConfigPtr and by
// confAdoptBackupPath); empty before a file is opened and after a save.
extern ConfOpenedFile confOpenedFile;

// Holds the directory of `path` and reads the regular file named there,
// never through a symbolic link, into `out` (backup fields cleared). False
// with errno set, `out` empty, when it cannot.
bool confAdoptOpenedFile(const char* path, ConfOpenedFile& out);
// Holds the directory of the backup path; null = keep no backup. A directory
// that cannot be held is remembered and refused by the save sequence.
void confAdoptBackupPath(ConfOpenedFile& file, const char* backupPath);

// Opens and parses the file at `path` (absolute paths only), completes a tree
// that lacks the sections the model needs, and renames the first ServerLayout
// to "Corvex Twinscape configured.". Null on failure (messages as documented).
// The file is recorded in confOpenedFile (without a backup path).
XF86ConfigPtr getConfigPtr(const char* path);
// What getConfigPtr does to a freshly parsed tree, without its console lines:
// completes it and renames the first ServerLayout. Returns the tree.
XF86ConfigPtr confPrepareTree(XF86ConfigPtr tree);

// Completes a tree so that the builders, the layout and the mode tests have
// what they work on: a Device, a Monitor and a Screen section (new ones are
// "CORVEX CARD 1" with Driver "cvx", and "Display 1" at DefaultDepth 24 with
// Modes "640x480", linked to the first Device and Monitor), and a first
// ServerLayout with a Screen line naming the first Screen section. Sections
// that exist are left alone. Returns the tree (null for a null tree).
XF86ConfigPtr confCompleteTree(XF86ConfigPtr tree);

// Writes the tree to `path`, regenerating the merged display's MetaModes first
// when the merged display is set. 1 when written, 0 otherwise.
unsigned char confWriteConfigFile(const char* path, XF86ConfigPtr tree);
// The text a save writes: the MetaModes regenerated first in merged mode.
// Empty when the library cannot write the tree faithfully.
std::string confConfigText(XF86ConfigPtr tree);

// The tree adjustments made right after a board is found: BusID "PCI:bus:dev:0"
// for every Device section whose Driver is exactly "cvx".
void confSetBoardBusID(XF86ConfigPtr tree, int bus, int device);
// Sets and returns wasSingleHeadAtStartup from the PairView and Clone tests.
unsigned char confSetSingleHeadAtStartup(XF86ConfigPtr tree);

// The bytes of the regular file at `path`; false (and `text` empty) when it
// cannot be read.
bool confReadConfigFile(const char* path, std::string& text);

// The save sequence, on the file `opened` records. Nothing is written when
// the file is no longer the one that was parsed (the path leads to another
// directory or file, or its size, modification time or bytes changed):
// `message` is then "ERROR: The configuration file has been changed by
// another program since it was opened. Settings haven't been changed.".
// Otherwise the new text is written to a temporary in the held directory and
// flushed, the parsed bytes are copied to the backup path (replacing a file
// there) the same way, and one rename then puts the new file in place; both
// copies take the recorded mode and owner, and no name is followed through a
// symbolic link. At every instant the configuration path holds the complete
// old or the complete new file. When the backup cannot be made nothing is
// written and `message` is an error beginning "ERROR: " that names the backup
// path; when the new file cannot be written both files stay as they were and
// `message` is "ERROR: The configuration file couldn't be written to.
// Settings haven't been changed.". On success `message` is the saved text and
// the result is true. The tree is not freed. The MetaModes are regenerated
// first in merged mode. No backup path keeps no copy of the old file (the
// replace stays atomic).
bool confSaveConfiguration(const ConfOpenedFile& opened, XF86ConfigPtr tree, std::string& message);

// ---------------------------------------------------------------- sections and lookups

// Find, adopt or create. An adopted section's old identifier is replaced in
// every reference to it (Screen lines, Screen sections' Device and Monitor
// lines, Inactive entries), so that the written file still resolves. With no
// section of the kind to copy from, a new one starts empty (a Screen section
// at DefaultDepth 24). MakeScreen leaves a reference unchanged when it is
// given a null Device or Monitor.
XF86ConfDevicePtr MakeDevice(XF86ConfigPtr tree, int deviceIndex);
XF86ConfMonitorPtr MakeMonitor(XF86ConfigPtr tree, int displayIndex);
XF86ConfScreenPtr MakeScreen(XF86ConfigPtr tree, int displayIndex, XF86ConfDevicePtr device,
                             XF86ConfMonitorPtr monitor);
XF86ConfigPtr confMakeSections(XF86ConfigPtr tree);

XF86ConfScreenPtr FindScreen(XF86ConfigPtr tree, int displayIndex);
XF86ConfMonitorPtr FindMonitor(XF86ConfigPtr tree, int displayIndex);
XF86ConfScreenPtr getScreenFromIndex(XF86ConfigPtr tree, int displayIndex);

XF86ConfigPtr confSetLayout(XF86ConfigPtr tree, int where);
// `where` is required; `first` and `second` may be null. For a merged line
// Monitor2Position is read from the Screen section the first line names.
XF86ConfigPtr confGetServerLayout(XF86ConfigPtr tree, int* first, int* where, int* second);
unsigned char confValidateLayout(XF86ConfigPtr tree);
unsigned char confRenameScreen(XF86ConfigPtr tree, XF86ConfScreenPtr screen, const char* newName);
unsigned char confRenameDevice(XF86ConfigPtr tree, XF86ConfDevicePtr device, const char* newName);

// Replaces a text field by a copy of `text`; a null text leaves the field
// absent (optional) or empty. 1 on success.
unsigned char confReplaceString(std::optional<std::string>& field, const char* text);
unsigned char confReplaceString(std::string& field, const char* text);
// Removes the first option whose name equals `name` exactly (case-sensitive).
XF86OptionList& confRemoveOption(XF86OptionList& list, const char* name);
// Sets the value of the option found by the library's lookup, else appends.
XF86OptionList& confSetOption(XF86OptionList& list, const char* name, const char* value);
int confDisplayIndexFromName(const char* name);

// ---------------------------------------------------------------- display-mode switches

unsigned char confPairViewIsActive(XF86ConfigPtr tree);
XF86ConfigPtr confEnablePairView(XF86ConfigPtr tree, int where);
XF86ConfigPtr confDisablePairView(XF86ConfigPtr tree);
unsigned char confCloneIsActive(XF86ConfigPtr tree);
XF86ConfigPtr confEnableClone(XF86ConfigPtr tree);
XF86ConfigPtr confDisableClone(XF86ConfigPtr tree);
unsigned char confMergedFBIsActive(XF86ConfigPtr tree);
XF86ConfigPtr confEnableMergedFB(XF86ConfigPtr tree, int where);
XF86ConfigPtr confDisableMergedFB(XF86ConfigPtr tree);
unsigned char confXineramaIsActive(XF86ConfigPtr tree);
XF86ConfigPtr confEnableXinerama(XF86ConfigPtr tree);
XF86ConfigPtr confDisableXinerama(XF86ConfigPtr tree);
// An option "hw cursor" without a value decides nothing: the walk goes on.
unsigned char confHWCursorIsActive(XF86ConfigPtr tree);
XF86ConfigPtr confEnableHWCursor(XF86ConfigPtr tree);
XF86ConfigPtr confDisableHWCursor(XF86ConfigPtr tree);   // always null (0)
// Only Load entries count (not LoadDriver or Disable). A tree without a Module
// section gets one when a module is loaded; unloading from it does nothing.
XF86ConfigPtr confLoadModule(XF86ConfigPtr tree, const char* name);
XF86ConfigPtr confUnloadModule(XF86ConfigPtr tree, const char* name);
unsigned char confIsModuleActive(XF86ConfigPtr tree, const char* name);

// ---------------------------------------------------------------- display modes

// The four modes of the main window's radio buttons.
enum ConfDisplayMode { CONF_MODE_SINGLE, CONF_MODE_MULTI, CONF_MODE_CLONE, CONF_MODE_MERGED };

// RightOf and LeftOf, Above and Below swapped: the relation seen from the
// other display. Other values stay.
int confOppositeRelation(int relation);
// RightOf, LeftOf, Above or Below.
bool confIsRelation(int relation);
// The mode a tree is in, tested in the main window's order: PairView
// Multi-Display, Clone, merged; otherwise single.
ConfDisplayMode confGetDisplayMode(XF86ConfigPtr tree);
// The relation of Display 1 to Display 2 the layout describes, whichever of
// the two screens carries it; 0 when it names no relation between the two.
int confGetDisplayRelation(XF86ConfigPtr tree);
// What the main window does with a freshly opened file on a board with two
// outputs: the mode the tree is in is switched on from single (keeping the
// file's relation in `where`), or the single display's sections are made.
// Returns the mode.
ConfDisplayMode confOpenDisplayMode(XF86ConfigPtr tree);
// The main window's mode switch: `from` off, then `to` on. Single sets
// `where` to 0 and the layout's relation with it; Multi-Display and merged
// place display 1 at `where` (LeftOf when it is 0) and read it back from the
// layout; Multi-Display and Clone switch Xinerama on, leaving them or
// switching merged on switches it off; merged also switches the hardware
// cursor off. A new second display's notice goes through confMessageHook.
// Nothing happens when the two modes are the same.
XF86ConfigPtr confSwitchDisplayMode(XF86ConfigPtr tree, ConfDisplayMode from, ConfDisplayMode to);
// The invert button: `where` a quarter turn clockwise (RightOf, Below,
// LeftOf, Above), then confSetLayout with it.
XF86ConfigPtr confInvertLayout(XF86ConfigPtr tree);

// ---------------------------------------------------------------- MetaModes

// See metamodes.cpp for what is generated when a display has no mode at its
// default depth and how names without a size count.
XF86ConfigPtr confGenerateMetaModes(XF86ConfigPtr tree);
void FitDesk(int* W, int* H, int where, int w1, int h1, int w2, int h2);

// ---------------------------------------------------------------- depth, resolutions, mode lines

XF86ConfigPtr confSetDefaultDepthFromScreenPtr(XF86ConfigPtr tree, XF86ConfScreenPtr screen, int depth);
XF86ConfigPtr confSetDefaultDepth(XF86ConfigPtr tree, int displayIndex, int depth);
int confGetDefaultDepthFromScreenPtr(XF86ConfigPtr tree, XF86ConfScreenPtr screen);
int confGetDefaultDepth(XF86ConfigPtr tree, int displayIndex);

XF86ConfigPtr confSetResolutionsFromScreenPtr(XF86ConfigPtr tree, XF86ConfScreenPtr screen, int count,
                                              const char* const names[], int depth);
XF86ConfigPtr confSetResolutions(XF86ConfigPtr tree, int displayIndex, int count,
                                 const char* const names[], int depth);
// Stores up to `max` names (owned by the tree) into `names`; returns the count.
int confGetResolutionsFromScreenPtr(XF86ConfigPtr tree, XF86ConfScreenPtr screen, int depth,
                                    const char* names[], int max);
int confGetResolutions(XF86ConfigPtr tree, int displayIndex, int depth, const char* names[], int max);

// confRefreshRate is declared in config/refresh.h; confAddModeline, which
// takes the X server's VidMode record, in config/modeline.h.
// The display's Monitor ModeLine list (owned by the tree), or null when the
// Screen section is missing, names no Monitor, or the list is empty.
const std::vector<XF86ConfModeLineRec>* confGetUserModeLines(XF86ConfigPtr tree, int displayIndex);

// ---------------------------------------------------------------- output type
// A Screen section that names no Device has no options to read or change:
// the tests yield 0, the getters and the enable operations null, the disable
// operations the unchanged tree. A null standard or cable text leaves that
// option as it is.

XF86ConfigPtr confEnableTVout(XF86ConfigPtr tree, int displayIndex, const char* standard, const char* cable);
XF86ConfigPtr confDisableTVout(XF86ConfigPtr tree, int displayIndex);
unsigned char confTVIsActive(XF86ConfigPtr tree, int displayIndex);
const char* confGetTVStandard(XF86ConfigPtr tree, int displayIndex);
const char* confGetCableType(XF86ConfigPtr tree, int displayIndex);
XF86ConfigPtr confEnableDigitalScreen(XF86ConfigPtr tree, int displayIndex);
XF86ConfigPtr confDisableDigitalScreen(XF86ConfigPtr tree, int displayIndex);
unsigned char confDigitalScreenIsActive(XF86ConfigPtr tree, int displayIndex);

// ---------------------------------------------------------------- the controls' edits
// What the main window's check boxes and the display modes dialog's OK do to
// the tree, shared by the windows and the command line.

// What the main window does when it shows a file: with Xinerama on, the
// module "dri" is not loaded.
XF86ConfigPtr confMatchModulesToXinerama(XF86ConfigPtr tree);

// The check boxes: switch only when the tree is not already as asked.
XF86ConfigPtr confSetXinerama(XF86ConfigPtr tree, bool on);
XF86ConfigPtr confSetHWCursor(XF86ConfigPtr tree, bool on);

// The dialog's depth: both displays in PairView Multi-Display and Clone,
// else only the given one.
XF86ConfigPtr confApplyDepth(XF86ConfigPtr tree, int displayIndex, int depth);
// The dialog's resolutions: the same list, in the given order, for each of
// the depths 8, 16, 24 and 32.
XF86ConfigPtr confApplyResolutions(XF86ConfigPtr tree, int displayIndex, int count, const char* const names[]);

enum ConfOutputType { CONF_OUTPUT_ANALOG, CONF_OUTPUT_DIGITAL, CONF_OUTPUT_TV_NTSC, CONF_OUTPUT_TV_PAL };
// TV (PAL when the standard is exactly "PAL", else NTSC), then digital, else analog.
ConfOutputType confGetOutputType(XF86ConfigPtr tree, int displayIndex);
// Analog: TV and digital off. Digital: TV off, digital on. TV: digital off,
// TV on with the standard and `cable`.
XF86ConfigPtr confApplyOutputType(XF86ConfigPtr tree, int displayIndex, ConfOutputType type, const char* cable);

// Sets the BusID text of every Device section whose Driver is exactly "cvx",
// and of every Device section the builders make ours from then on.
void confSetBusID(XF86ConfigPtr tree, const char* busid);
