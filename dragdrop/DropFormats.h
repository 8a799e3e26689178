#pragma once
// The data formats a drag offers and a drop accepts, and how a request is matched to
// an offered format.
//
// A format is named by its MIME type, which is what Qt's drags carry. The file list
// is "text/uri-list" (the file managers' own format, and what Qt makes of CF_HDROP
// on Windows); the formats Windows programs register by name travel under the names
// Qt gives registered Windows formats, application/x-qt-windows-mime;value="NAME".
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/shell/ShellFolder.h"

inline constexpr const char* CF_HDROP = "text/uri-list";
inline constexpr const char* CFSTR_SHELLIDLIST = "application/x-qt-windows-mime;value=\"Shell IDList Array\"";
inline constexpr const char* CFSTR_PREFERREDDROPEFFECT = "application/x-qt-windows-mime;value=\"Preferred DropEffect\"";
inline constexpr const char* CFSTR_FILENAMEMAP = "application/x-qt-windows-mime;value=\"FileNameMap\"";
inline constexpr const char* CFSTR_FILENAMEMAPW = "application/x-qt-windows-mime;value=\"FileNameMapW\"";

// The MIME name of a format Windows registers by name ("Shell IDList Array", ...).
std::string RegisteredFormat(std::string_view name);

inline constexpr std::uint32_t DVASPECT_CONTENT = 1;
inline constexpr std::uint32_t DVASPECT_ICON = 4;
inline constexpr std::uint32_t TYMED_HGLOBAL = 1;
inline constexpr std::uint32_t TYMED_FILE = 2;
inline constexpr std::uint32_t TYMED_ISTREAM = 4;

// One format offered, requested or accepted. A drag has no target devices, so there
// is no field for one. Qt asks for every format as the content in one block of
// memory: TFormatEtc(format) with its defaults.
struct TFormatEtc {
    std::string cfFormat;
    std::uint32_t dwAspect = DVASPECT_CONTENT;
    std::int32_t lindex = -1;
    std::uint32_t tymed = TYMED_HGLOBAL;
};

// A request for `format` that the program answers: the same format, the content
// aspect exactly, and a memory block among the media it takes.
bool RequestMatches(const TFormatEtc& request, std::string_view format);
// Whether an offered format can serve a request (QueryGetData): the same format and
// aspect, and at least one medium in common.
bool OfferServes(const TFormatEtc& offered, const TFormatEtc& request);

// Result codes of a data request, beside the shell's (platform/shell/ShellFolder.h).
using platform::shell::HResult;
inline constexpr HResult E_UNEXPECTED = static_cast<HResult>(0x8000FFFF);
inline constexpr HResult DV_E_FORMATETC = static_cast<HResult>(0x80040064);
