#pragma once
// Builds shell link files byte by byte, independently of the platform's writer, so
// that the readers are tested against the published format itself.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/util/Text.h"

namespace linkbytes {

struct LinkFields {
    std::optional<std::string> localPath;   // LinkInfo local base path (ANSI, code page 1252)
    std::optional<std::string> envTarget;   // environment block target (sets HasExpString)
    bool shellObject = false;               // an ID list naming the Control Panel only
    std::optional<std::string> description; // StringData, UTF-8 here, stored as UTF-16
    std::optional<std::string> relativePath;
    std::optional<std::string> workingDir;
    std::optional<std::string> arguments;
    std::optional<std::string> iconLocation;
    std::int32_t iconIndex = 0;
    std::uint32_t showCommand = 1;
    std::uint16_t hotkey = 0;
};

inline void Put16(std::string& b, std::uint16_t v)
{
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>(v >> 8);
}

inline void Put32(std::string& b, std::uint32_t v)
{
    Put16(b, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(b, static_cast<std::uint16_t>(v >> 16));
}

inline std::string Build(const LinkFields& s)
{
    enum : std::uint32_t {
        HasLinkTargetIDList = 0x1, HasLinkInfo = 0x2, HasName = 0x4, HasRelativePath = 0x8,
        HasWorkingDir = 0x10, HasArguments = 0x20, HasIconLocation = 0x40, IsUnicode = 0x80,
        HasExpString = 0x200,
    };
    std::uint32_t flags = IsUnicode;
    if (s.shellObject) flags |= HasLinkTargetIDList;
    if (s.localPath) flags |= HasLinkInfo;
    if (s.description) flags |= HasName;
    if (s.relativePath) flags |= HasRelativePath;
    if (s.workingDir) flags |= HasWorkingDir;
    if (s.arguments) flags |= HasArguments;
    if (s.iconLocation) flags |= HasIconLocation;
    if (s.envTarget) flags |= HasExpString;

    std::string b;
    Put32(b, 0x4C);
    b += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
    Put32(b, flags);
    Put32(b, 0x20);                  // FILE_ATTRIBUTE_ARCHIVE
    b += std::string(24, '\0');      // creation, access and write times
    Put32(b, 0);                     // file size
    Put32(b, static_cast<std::uint32_t>(s.iconIndex));
    Put32(b, s.showCommand);
    Put16(b, s.hotkey);
    b += std::string(10, '\0');

    if (s.shellObject) {
        // One root item: the Control Panel's class identifier.
        std::string item;
        Put16(item, 0x14);
        item += '\x1F';
        item += '\x50';
        item += std::string("\x68\x06\xEE\x26\x0A\xA0\xD7\x44\x93\x71\xBE\xB0\x64\xC9\x86\x83", 16);
        Put16(b, static_cast<std::uint16_t>(item.size() + 2));
        b += item;
        Put16(b, 0);
    }
    if (s.localPath) {
        const std::string volume = std::string("\x11\0\0\0\x03\0\0\0\x78\x56\x34\x12\x10\0\0\0\0", 17);
        const std::uint32_t headerSize = 0x1C;
        const std::uint32_t baseOffset = headerSize + static_cast<std::uint32_t>(volume.size());
        const std::uint32_t suffixOffset = baseOffset + static_cast<std::uint32_t>(s.localPath->size()) + 1;
        const std::uint32_t size = suffixOffset + 1;
        Put32(b, size);
        Put32(b, headerSize);
        Put32(b, 1); // VolumeIDAndLocalBasePath
        Put32(b, headerSize);
        Put32(b, baseOffset);
        Put32(b, 0);
        Put32(b, suffixOffset);
        b += volume;
        b += *s.localPath;
        b += '\0';
        b += '\0';
    }
    for (const auto* str : {&s.description, &s.relativePath, &s.workingDir, &s.arguments, &s.iconLocation}) {
        if (!*str)
            continue;
        const std::u16string wide = platform::BytesToUtf16(**str);
        Put16(b, static_cast<std::uint16_t>(wide.size()));
        for (const char16_t c : wide)
            Put16(b, c);
    }
    if (s.envTarget) {
        Put32(b, 0x314);
        Put32(b, 0xA0000001);
        std::string ansi = *s.envTarget;
        ansi.resize(260, '\0');
        b += ansi;
        std::u16string wide = platform::BytesToUtf16(*s.envTarget);
        wide.resize(260, u'\0');
        for (const char16_t c : wide)
            Put16(b, c);
    }
    Put32(b, 0); // terminal block
    return b;
}

} // namespace linkbytes
