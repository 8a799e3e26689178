#pragma once
// Drop effects, drag types and the key state of a drag, as Windows numbers them:
// the values travel in "Preferred DropEffect" blocks and map one to one to Qt's
// drop actions (copy 1, move 2, link 4).
#include <cstdint>

using TDropEffect = std::uint32_t;
inline constexpr TDropEffect DROPEFFECT_NONE = 0;
inline constexpr TDropEffect DROPEFFECT_COPY = 1;
inline constexpr TDropEffect DROPEFFECT_MOVE = 2;
inline constexpr TDropEffect DROPEFFECT_LINK = 4;
// The target scrolls while the pointer rests near its edge.
inline constexpr TDropEffect DROPEFFECT_SCROLL = 0x80000000;

// The effects a source offers or a target may grant; each stands for the effect of
// the same value, so a set of them is a mask of effects.
enum TDragType : std::uint32_t {
    dtCopy = DROPEFFECT_COPY,
    dtMove = DROPEFFECT_MOVE,
    dtLink = DROPEFFECT_LINK,
};
using TDragTypes = std::uint32_t;
inline constexpr TDragTypes kAllDragTypes = dtCopy | dtMove | dtLink;

// Keys and buttons held during a drag.
enum TShiftFlag : std::uint32_t {
    ssShift = 0x01,
    ssAlt = 0x02,
    ssCtrl = 0x04,
    ssLeft = 0x08,
    ssRight = 0x10,
    ssMiddle = 0x20,
};
using TShiftState = std::uint32_t;
