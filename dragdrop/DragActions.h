#pragma once
// Drop effects and Qt's drop actions: the same three values (copy 1, move 2, link 4).
#include <Qt>

#include "dragdrop/DropEffects.h"

// The effects among Qt's actions; Qt's "the target moved it" counts as a move.
inline TDropEffect EffectsOfActions(Qt::DropActions actions)
{
    TDropEffect effects = DROPEFFECT_NONE;
    if (actions & Qt::CopyAction)
        effects |= DROPEFFECT_COPY;
    if (actions & Qt::MoveAction)
        effects |= DROPEFFECT_MOVE;
    if (actions & Qt::LinkAction)
        effects |= DROPEFFECT_LINK;
    return effects;
}

inline Qt::DropActions ActionsOfEffects(TDropEffect effects)
{
    Qt::DropActions actions;
    if (effects & DROPEFFECT_COPY)
        actions |= Qt::CopyAction;
    if (effects & DROPEFFECT_MOVE)
        actions |= Qt::MoveAction;
    if (effects & DROPEFFECT_LINK)
        actions |= Qt::LinkAction;
    return actions;
}

// The one action an effect answers, among those possible: copy before move before
// link; none when the effect holds none of them.
inline Qt::DropAction ActionOfEffect(TDropEffect effect, Qt::DropActions possible)
{
    const TDropEffect usable = effect & EffectsOfActions(possible);
    if (usable & DROPEFFECT_COPY)
        return Qt::CopyAction;
    if (usable & DROPEFFECT_MOVE)
        return Qt::MoveAction;
    if (usable & DROPEFFECT_LINK)
        return Qt::LinkAction;
    return Qt::IgnoreAction;
}
