#pragma once
// Pictures of the icons inside programs and icon files (platform/iconfile reads them;
// this turns their images into QImages). Safe on any thread: nothing here touches a
// QPixmap or the icon list.
#include <QImage>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/iconfile/IconFileReader.h"

namespace platform {

// Whether the shell shows a file of this name by an icon of its own: programs,
// control panel items, screen savers and icon files. Libraries (.dll) show their type
// icon, as in the Windows shell; their icons are reached through icon locations.
bool ShowsOwnIcon(std::string_view name);

// One image's bytes (PNG or DIB) as a picture; null when they do not decode.
QImage DecodeIconImage(std::span<const std::uint8_t> bytes);

// The group's picture at size x size: the most suitable of its images that decodes,
// scaled when none has that size. Null when none decodes.
QImage IconGroupImage(const iconfile::IconFileReader& reader, const iconfile::IconGroup& group, int size);

struct IconPictures {
    QImage small; // 16 x 16
    QImage large; // 32 x 32
};

// The icon a shell icon index names in a program or icon file (a host path). None
// when the file is neither, holds no icon there, or its images do not decode. Reads
// with pread only what the icon needs. Never call it on the GUI thread for a file on
// a network mount.
std::optional<IconPictures> ReadIconPictures(const std::string& hostPath, int iconIndex);

// Every icon of a program or icon file, for choosing one.
struct AllIcons {
    bool opened = false;           // a regular file that could be opened
    std::vector<QImage> pictures;  // in icon-index order; null where one does not decode
    std::optional<std::size_t> named; // the place of the icon `iconIndex` names
};
// Stops early, with what it has, once `cancel` is set. Never on the GUI thread for a
// file on a network mount.
AllIcons ReadAllIcons(const std::string& hostPath, int size, int iconIndex, const std::atomic<bool>* cancel = nullptr);

} // namespace platform
