/*
 * cvxemu: the board X driver's side of the command channel, for a server
 * that runs the dummy video driver.
 *
 * The module wraps the VidMode extension's request handler. A ModModeLine
 * request whose flags carry bit 31 is a command: once the server's own
 * handler has accepted it (and copied the flags into the running mode), the
 * command file is read, the command is carried out on that screen's running
 * mode, the marker is cleared again and the one-line answer is written to
 * the reply file, all before the request completes.
 *
 * Commands and what they do to the running mode:
 *   left N / right N   horizontal sync later / earlier by N * 8 pixels
 *   up N / down N      vertical sync later / earlier by N lines
 *   h+ N / h- N        horizontal total smaller / larger by N * 8 pixels
 *                      (the picture gets wider / narrower)
 *   v+ N / v- N        vertical total smaller / larger by N lines
 *                      (taller / shorter)
 *   refresh R          dot clock set so that the refresh becomes R Hz
 *   undo               the timings before the last change (a stack)
 * Eight pixels is one character clock, the horizontal unit of CRT
 * controllers; vertical timings count in single lines. Size changes keep the
 * refresh rate by scaling the dot clock with the total. A change is refused
 * ("ERROR ...", timings untouched) when the new timings would be out of order
 * or outside the monitor's ranges.
 *
 * Answers to "test", "hal" and "merged" come from the server's environment
 * (CVX_EMU_TEST, CVX_EMU_HAL, CVX_EMU_MERGED; unset means "YES"); the value
 * is the answer text as written, so tests can also emulate a driver that
 * answers "yes" or "YES\n". CVX_EMU_DOTCLOCK0=1 makes screen 0 report a dot
 * clock of 0, as a server with a merged framebuffer does.
 *
 * The two files live under $CVXSCAPE_ROOT/tmp like the program's. They are
 * fixed names in a world-writable directory and the server runs as root, so
 * neither is ever opened through a symbolic link; the command is only taken
 * from a regular file of root, of the server's user or of the requesting
 * client's user, and the reply is created anew, exclusively, mode 0600, and
 * given to the client's user.
 */
#ifdef HAVE_XORG_CONFIG_H
#include <xorg-config.h>
#endif
#include <xorg-server.h>

#include <errno.h>
#include <limits.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <X11/X.h>
#include <X11/Xproto.h>
#include <X11/extensions/xf86vmproto.h>

#include "dixstruct.h"
#include "extension.h"
#include "extnsionst.h"
#include "os.h"
#include "scrnintstr.h"
#include "xf86.h"
#include "xf86Module.h"
#include "xf86Modes.h"

#define CVXEMU_MARKER 0x80000000u
#define CVXEMU_HSTEP 8
#define CVXEMU_VSTEP 1
#define CVXEMU_MAX_STEPS 64
#define CVXEMU_UNDO_DEPTH 64
#define CVXEMU_COMMAND_MAX 255
#define CVXEMU_REPLY_MAX 4096

typedef struct {
    DisplayModePtr mode; /* the mode these timings were taken from */
    int clock;
    int hdisplay, hsyncstart, hsyncend, htotal;
    int vdisplay, vsyncstart, vsyncend, vtotal;
} Timings;

typedef struct {
    Timings entries[CVXEMU_UNDO_DEPTH];
    int count;
} UndoStack;

static UndoStack undo_stacks[MAXSCREENS];
static int vidmode_major = -1;
static int (*orig_proc)(ClientPtr) = NULL;
static int (*orig_sproc)(ClientPtr) = NULL;

/* ---- paths, as the program builds them ---------------------------------- */

/* FALSE when the path does not fit: a cut path would name another file. */
static Bool channel_path(char* out, size_t size, const char* name)
{
    const char* root = getenv("CVXSCAPE_ROOT");
    size_t len = root ? strlen(root) : 0;
    int n;
    while (len > 1 && root[len - 1] == '/')
        len--;
    if (len == 1 && root[0] == '/')
        len = 0;
    if (len > (size_t)INT_MAX)
        return FALSE;
    n = snprintf(out, size, "%.*s/tmp/%s", (int)len, root ? root : "", name);
    if (n < 0 || (size_t)n >= size) {
        LogMessageVerb(X_WARNING, 1, "cvxemu: CVXSCAPE_ROOT is too long\n");
        return FALSE;
    }
    return TRUE;
}

static Bool owner_allowed(uid_t owner, int client_uid)
{
    return owner == 0 || owner == geteuid() || (client_uid >= 0 && owner == (uid_t)client_uid);
}

/* The command text, or FALSE when the file is missing or not trusted. */
static Bool read_command(char* out, size_t size, int client_uid)
{
    char path[PATH_MAX];
    struct stat st;
    ssize_t n;
    size_t got = 0;
    int fd;

    if (!channel_path(path, sizeof path, "cvxDriverIn"))
        return FALSE;
    fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        LogMessageVerb(X_WARNING, 1, "cvxemu: cannot open %s: %s\n", path, strerror(errno));
        return FALSE;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !owner_allowed(st.st_uid, client_uid)) {
        LogMessageVerb(X_WARNING, 1, "cvxemu: %s is not a trusted regular file\n", path);
        close(fd);
        return FALSE;
    }
    while (got + 1 < size && (n = read(fd, out + got, size - 1 - got)) != 0) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            close(fd);
            return FALSE;
        }
        got += (size_t)n;
    }
    out[got] = '\0';
    close(fd);
    return TRUE;
}

static void write_reply(const char* text, int client_uid)
{
    char path[PATH_MAX];
    size_t len = strlen(text), done = 0;
    int fd;

    if (!channel_path(path, sizeof path, "cvxDriverOut"))
        return;
    /* Whatever sits at the name (a stale reply, a planted link) goes; the
     * reply is always a new file of ours. */
    if (unlink(path) != 0 && errno != ENOENT) {
        LogMessageVerb(X_WARNING, 1, "cvxemu: cannot remove %s: %s\n", path, strerror(errno));
        return;
    }
    fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        LogMessageVerb(X_WARNING, 1, "cvxemu: cannot create %s: %s\n", path, strerror(errno));
        return;
    }
    if (client_uid >= 0 && (uid_t)client_uid != geteuid() && fchown(fd, (uid_t)client_uid, (gid_t)-1) != 0)
        LogMessageVerb(X_WARNING, 1, "cvxemu: cannot give %s to uid %d\n", path, client_uid);
    while (done < len) {
        ssize_t n = write(fd, text + done, len - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            LogMessageVerb(X_WARNING, 1, "cvxemu: cannot write %s: %s\n", path, strerror(errno));
            break;
        }
        done += (size_t)n;
    }
    close(fd);
}

/* ---- timings ------------------------------------------------------------ */

static void take_timings(Timings* t, DisplayModePtr mode)
{
    t->mode = mode;
    t->clock = mode->Clock;
    t->hdisplay = mode->HDisplay;
    t->hsyncstart = mode->HSyncStart;
    t->hsyncend = mode->HSyncEnd;
    t->htotal = mode->HTotal;
    t->vdisplay = mode->VDisplay;
    t->vsyncstart = mode->VSyncStart;
    t->vsyncend = mode->VSyncEnd;
    t->vtotal = mode->VTotal;
}

static void put_timings(DisplayModePtr mode, const Timings* t)
{
    mode->Clock = t->clock;
    mode->HDisplay = t->hdisplay;
    mode->HSyncStart = t->hsyncstart;
    mode->HSyncEnd = t->hsyncend;
    mode->HTotal = t->htotal;
    mode->VDisplay = t->vdisplay;
    mode->VSyncStart = t->vsyncstart;
    mode->VSyncEnd = t->vsyncend;
    mode->VTotal = t->vtotal;
    /* The cached rates would otherwise win over the new timings. */
    mode->HSync = 0.0f;
    mode->VRefresh = 0.0f;
    xf86SetModeCrtc(mode, INTERLACE_HALVE_V);
}

/* NULL when the timings can be driven, else the reason. */
static const char* timings_problem(const Timings* t, ScrnInfoPtr scrn)
{
    DisplayModeRec probe;
    ModeStatus status;

    if (t->hdisplay > t->hsyncstart || t->hsyncstart > t->hsyncend || t->hsyncend > t->htotal ||
        t->vdisplay > t->vsyncstart || t->vsyncstart > t->vsyncend || t->vsyncend > t->vtotal)
        return "timings out of order";
    if (t->htotal > 0xffff || t->vtotal > 0xffff || t->htotal <= 0 || t->vtotal <= 0)
        return "timings out of range";
    if (t->clock <= 0)
        return "no dot clock";
    if (scrn->monitor) {
        memcpy(&probe, scrn->currentMode, sizeof probe);
        probe.Clock = t->clock;
        probe.HDisplay = t->hdisplay;
        probe.HSyncStart = t->hsyncstart;
        probe.HSyncEnd = t->hsyncend;
        probe.HTotal = t->htotal;
        probe.VDisplay = t->vdisplay;
        probe.VSyncStart = t->vsyncstart;
        probe.VSyncEnd = t->vsyncend;
        probe.VTotal = t->vtotal;
        probe.HSync = 0.0f;
        probe.VRefresh = 0.0f;
        status = xf86CheckModeForMonitor(&probe, scrn->monitor);
        if (status != MODE_OK)
            return "outside the monitor's ranges";
    }
    return NULL;
}

/* Dot clock (kHz) for `refresh` Hz at the given totals, to the nearest kHz. */
static long long clock_for(long long refresh_millihz, int htotal, int vtotal)
{
    long long pixels = (long long)htotal * vtotal;
    return (refresh_millihz * pixels + 500000) / 1000000;
}

static long long refresh_millihz(const Timings* t)
{
    long long pixels = (long long)t->htotal * t->vtotal;
    return pixels > 0 ? ((long long)t->clock * 1000000 + pixels / 2) / pixels : 0;
}

static void push_undo(int screen, const Timings* before)
{
    UndoStack* s = &undo_stacks[screen];
    if (s->count > 0 && s->entries[s->count - 1].mode != before->mode)
        s->count = 0; /* another mode runs now: the old history is void */
    if (s->count == CVXEMU_UNDO_DEPTH) {
        memmove(&s->entries[0], &s->entries[1], sizeof s->entries[0] * (CVXEMU_UNDO_DEPTH - 1));
        s->count--;
    }
    s->entries[s->count++] = *before;
}

/* ---- commands ----------------------------------------------------------- */

static const char* answer_from_env(const char* name)
{
    const char* v = getenv(name);
    return v ? v : "YES";
}

static void run_command(int screen, const char* command, char* reply, size_t reply_size)
{
    ScrnInfoPtr scrn = xf86ScreenToScrn(screenInfo.screens[screen]);
    DisplayModePtr mode = scrn->currentMode;
    Timings before, after;
    char verb[16];
    long long n = 1, new_clock;
    int used = 0, dh = 0, dv = 0, dht = 0, dvt = 0;
    const char* problem;

    if (strcmp(command, "test") == 0) {
        snprintf(reply, reply_size, "%s", answer_from_env("CVX_EMU_TEST"));
        return;
    }
    if (strcmp(command, "hal") == 0) {
        snprintf(reply, reply_size, "%s", answer_from_env("CVX_EMU_HAL"));
        return;
    }
    if (strcmp(command, "merged") == 0) {
        snprintf(reply, reply_size, "%s", answer_from_env("CVX_EMU_MERGED"));
        return;
    }
    if (!mode) {
        snprintf(reply, reply_size, "ERROR no running mode");
        return;
    }
    take_timings(&before, mode);

    if (strcmp(command, "undo") == 0) {
        UndoStack* s = &undo_stacks[screen];
        if (s->count == 0 || s->entries[s->count - 1].mode != mode) {
            s->count = 0;
            snprintf(reply, reply_size, "ERROR nothing to undo");
            return;
        }
        put_timings(mode, &s->entries[--s->count]);
        snprintf(reply, reply_size, "OK");
        return;
    }

    if (sscanf(command, "%15s %lld%n", verb, &n, &used) != 2 || command[used] != '\0') {
        snprintf(reply, reply_size, "ERROR unknown command");
        return;
    }
    after = before;
    if (strcmp(verb, "refresh") == 0) {
        if (n < 1 || n > 1000) {
            snprintf(reply, reply_size, "ERROR refresh out of range");
            return;
        }
        if (before.clock <= 0) {
            snprintf(reply, reply_size, "ERROR no dot clock");
            return;
        }
        new_clock = clock_for(n * 1000, after.htotal, after.vtotal);
        if (new_clock > INT_MAX) {
            snprintf(reply, reply_size, "ERROR dot clock out of range");
            return;
        }
        after.clock = (int)new_clock;
    } else {
        if (n < 1 || n > CVXEMU_MAX_STEPS) {
            snprintf(reply, reply_size, "ERROR step out of range");
            return;
        }
        if (strcmp(verb, "left") == 0)
            dh = CVXEMU_HSTEP;
        else if (strcmp(verb, "right") == 0)
            dh = -CVXEMU_HSTEP;
        else if (strcmp(verb, "up") == 0)
            dv = CVXEMU_VSTEP;
        else if (strcmp(verb, "down") == 0)
            dv = -CVXEMU_VSTEP;
        else if (strcmp(verb, "h+") == 0)
            dht = -CVXEMU_HSTEP;
        else if (strcmp(verb, "h-") == 0)
            dht = CVXEMU_HSTEP;
        else if (strcmp(verb, "v+") == 0)
            dvt = -CVXEMU_VSTEP;
        else if (strcmp(verb, "v-") == 0)
            dvt = CVXEMU_VSTEP;
        else {
            snprintf(reply, reply_size, "ERROR unknown command");
            return;
        }
        after.hsyncstart += (int)n * dh;
        after.hsyncend += (int)n * dh;
        after.vsyncstart += (int)n * dv;
        after.vsyncend += (int)n * dv;
        after.htotal += (int)n * dht;
        after.vtotal += (int)n * dvt;
        if ((dht || dvt) && before.clock > 0 && after.htotal > 0 && after.vtotal > 0) {
            new_clock = clock_for(refresh_millihz(&before), after.htotal, after.vtotal);
            if (new_clock > INT_MAX) {
                snprintf(reply, reply_size, "ERROR dot clock out of range");
                return;
            }
            after.clock = (int)new_clock;
        }
    }
    problem = timings_problem(&after, scrn);
    if (problem) {
        snprintf(reply, reply_size, "ERROR %s", problem);
        return;
    }
    push_undo(screen, &before);
    put_timings(mode, &after);
    snprintf(reply, reply_size, "OK");
}

/* ---- the request wrapper ------------------------------------------------- */

static void force_dot_clock_zero(void)
{
    const char* v = getenv("CVX_EMU_DOTCLOCK0");
    ScrnInfoPtr scrn;
    if (!v || strcmp(v, "1") != 0 || screenInfo.numScreens < 1)
        return;
    scrn = xf86ScreenToScrn(screenInfo.screens[0]);
    if (scrn && scrn->currentMode)
        scrn->currentMode->Clock = 0;
}

static int client_uid_of(ClientPtr client)
{
    LocalClientCredRec* creds = NULL;
    int uid = -1;
    if (GetLocalClientCreds(client, &creds) == 0 && creds) {
        if (creds->fieldsSet & LCC_UID_SET)
            uid = creds->euid;
        FreeLocalClientCreds(creds);
    }
    return uid;
}

static void serve_marked_screens(ClientPtr client)
{
    char command[CVXEMU_COMMAND_MAX + 1];
    char reply[CVXEMU_REPLY_MAX];
    int i, uid = -2;
    size_t len;

    /* The server has copied the request's flags into the running mode; any
     * screen that carries the marker now was addressed by this request. This
     * needs no knowledge of the request's layout or byte order. */
    for (i = 0; i < screenInfo.numScreens; i++) {
        ScrnInfoPtr scrn = xf86ScreenToScrn(screenInfo.screens[i]);
        DisplayModePtr mode = scrn ? scrn->currentMode : NULL;
        if (!mode || !((unsigned)mode->Flags & CVXEMU_MARKER))
            continue;
        mode->Flags = (int)((unsigned)mode->Flags & ~CVXEMU_MARKER);
        if (uid == -2)
            uid = client_uid_of(client);
        if (!read_command(command, sizeof command, uid))
            continue;
        len = strlen(command);
        while (len > 0 && (command[len - 1] == '\n' || command[len - 1] == '\r' || command[len - 1] == ' '))
            command[--len] = '\0';
        run_command(i, command, reply, sizeof reply);
        LogMessageVerb(X_INFO, 4, "cvxemu: screen %d: \"%s\" -> \"%s\"\n", i, command, reply);
        write_reply(reply, uid);
    }
}

static int dispatch(ClientPtr client, int (*orig)(ClientPtr))
{
    REQUEST(xReq);
    int rc;

    force_dot_clock_zero();
    rc = orig(client);
    if (rc == Success && stuff->data == X_XF86VidModeModModeLine)
        serve_marked_screens(client);
    force_dot_clock_zero();
    return rc;
}

static int proc_wrapper(ClientPtr client) { return dispatch(client, orig_proc); }
static int sproc_wrapper(ClientPtr client) { return dispatch(client, orig_sproc); }

static void cvxemu_extension_init(void)
{
    ExtensionEntry* ext = CheckExtension(XF86VIDMODENAME);
    if (!ext) {
        LogMessage(X_WARNING, "cvxemu: no %s in this server, channel not served\n", XF86VIDMODENAME);
        return;
    }
    /* A server reset runs this again; wrap only once. */
    if (vidmode_major == ext->base && ProcVector[ext->base] == proc_wrapper)
        return;
    vidmode_major = ext->base;
    orig_proc = ProcVector[ext->base];
    orig_sproc = SwappedProcVector[ext->base];
    ProcVector[ext->base] = proc_wrapper;
    SwappedProcVector[ext->base] = sproc_wrapper;
    memset(undo_stacks, 0, sizeof undo_stacks);
    force_dot_clock_zero();
    LogMessage(X_INFO, "cvxemu: serving the driver command channel on request %d\n", ext->base);
}

static const ExtensionModule cvxemu_extensions[] = {
    { cvxemu_extension_init, "CVXEMU", NULL },
};

static void* cvxemu_setup(void* module, void* opts, int* errmaj, int* errmin)
{
    static Bool done = FALSE;
    if (!done) {
        done = TRUE;
        LoadExtensionList(cvxemu_extensions, 1, FALSE);
    }
    return (void*)1;
}

static XF86ModuleVersionInfo cvxemu_version = {
    "cvxemu",
    MODULEVENDORSTRING,
    MODINFOSTRING1,
    MODINFOSTRING2,
    XORG_VERSION_CURRENT,
    1, 0, 0,
    ABI_CLASS_EXTENSION,
    ABI_EXTENSION_VERSION,
    MOD_CLASS_EXTENSION,
    { 0, 0, 0, 0 },
};

_X_EXPORT XF86ModuleData cvxemuModuleData = { &cvxemu_version, cvxemu_setup, NULL };
