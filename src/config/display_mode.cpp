// The four display modes as the main window offers them: which one a tree is
// in, the one a freshly opened file is shown in, and the switch between two
// of them with everything that goes with it (the relation, Xinerama, the
// hardware cursor). The window and every other caller go through these, so
// that a mode switch is the same sequence wherever it starts.
#include "config/config.h"

namespace {

// The relation read back from the layout after a dual mode is switched on;
// `where` keeps its value when the layout states none.
void read_back_where(XF86ConfigPtr tree)
{
    int relation = where;
    confGetServerLayout(tree, nullptr, &relation, nullptr);
    where = relation;
}

void leave(XF86ConfigPtr tree, ConfDisplayMode mode)
{
    switch (mode) {
    case CONF_MODE_MULTI:
        confDisablePairView(tree);
        confDisableXinerama(tree);
        break;
    case CONF_MODE_CLONE:
        confDisableClone(tree);
        confDisableXinerama(tree);
        break;
    case CONF_MODE_MERGED:
        confDisableMergedFB(tree);
        break;
    case CONF_MODE_SINGLE:
        break;
    }
}

void enter(XF86ConfigPtr tree, ConfDisplayMode mode)
{
    switch (mode) {
    case CONF_MODE_SINGLE:
        where = 0;
        confSetLayout(tree, 0);
        break;
    case CONF_MODE_MULTI:
        if (where == 0)
            where = CONF_ADJ_LEFTOF;
        confEnablePairView(tree, where);
        read_back_where(tree);
        confEnableXinerama(tree);
        break;
    case CONF_MODE_CLONE:
        confEnableClone(tree);
        confEnableXinerama(tree);
        break;
    case CONF_MODE_MERGED:
        if (where == 0)
            where = CONF_ADJ_LEFTOF;
        confEnableMergedFB(tree, where);
        read_back_where(tree);
        // One framebuffer: Xinerama has nothing to join, and the board's
        // cursor cannot cross the two outputs.
        confDisableXinerama(tree);
        if (confHWCursorIsActive(tree))
            confDisableHWCursor(tree);
        break;
    }
}

}  // namespace

int confOppositeRelation(int relation)
{
    switch (relation) {
    case CONF_ADJ_RIGHTOF: return CONF_ADJ_LEFTOF;
    case CONF_ADJ_LEFTOF: return CONF_ADJ_RIGHTOF;
    case CONF_ADJ_ABOVE: return CONF_ADJ_BELOW;
    case CONF_ADJ_BELOW: return CONF_ADJ_ABOVE;
    default: return relation;
    }
}

bool confIsRelation(int relation)
{
    return relation >= CONF_ADJ_RIGHTOF && relation <= CONF_ADJ_BELOW;
}

ConfDisplayMode confGetDisplayMode(XF86ConfigPtr tree)
{
    if (confPairViewIsActive(tree))
        return CONF_MODE_MULTI;
    if (confCloneIsActive(tree))
        return CONF_MODE_CLONE;
    if (confMergedFBIsActive(tree))
        return CONF_MODE_MERGED;
    return CONF_MODE_SINGLE;
}

int confGetDisplayRelation(XF86ConfigPtr tree)
{
    int first = -1, relation = 0, second = -1;
    confGetServerLayout(tree, &first, &relation, &second);
    if (!confIsRelation(relation))
        return 0;
    if (first == 0 && second == 1)
        return relation;
    if (first == 1 && second == 0)
        return confOppositeRelation(relation);
    return 0;
}

ConfDisplayMode confOpenDisplayMode(XF86ConfigPtr tree)
{
    const ConfDisplayMode mode = confGetDisplayMode(tree);
    // The relation is taken from the file before a dual mode is switched on;
    // otherwise opening and saving would turn the layout round to
    // "Display 1 LeftOf Display 2".
    if (mode == CONF_MODE_MULTI || mode == CONF_MODE_MERGED)
        where = confGetDisplayRelation(tree);
    if (mode == CONF_MODE_SINGLE)
        confMakeSections(tree);
    else
        confSwitchDisplayMode(tree, CONF_MODE_SINGLE, mode);
    return mode;
}

XF86ConfigPtr confSwitchDisplayMode(XF86ConfigPtr tree, ConfDisplayMode from, ConfDisplayMode to)
{
    if (!tree)
        return nullptr;
    if (from == to)
        return tree;
    leave(tree, from);
    enter(tree, to);
    return tree;
}

XF86ConfigPtr confInvertLayout(XF86ConfigPtr tree)
{
    // A quarter turn clockwise of display 1 round display 2.
    switch (where) {
    case CONF_ADJ_RIGHTOF: where = CONF_ADJ_BELOW; break;
    case CONF_ADJ_BELOW: where = CONF_ADJ_LEFTOF; break;
    case CONF_ADJ_LEFTOF: where = CONF_ADJ_ABOVE; break;
    case CONF_ADJ_ABOVE: where = CONF_ADJ_RIGHTOF; break;
    default: break;
    }
    return confSetLayout(tree, where);
}
