#pragma once
// Host paths are bytes and Windows text from shortcuts is UTF-8; the window shows
// both as QStrings. Bytes that are not UTF-8 travel as lone surrogates, so text
// typed back gives the very bytes again.
#include <QString>
#include <string>
#include <string_view>

#include "platform/util/Text.h"

namespace platform::ui {

inline QString BytesToText(std::string_view bytes)
{
    if (IsValidUtf8(bytes))
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const std::u16string u16 = BytesToUtf16(bytes);
    return QString(reinterpret_cast<const QChar*>(u16.data()), static_cast<qsizetype>(u16.size()));
}

inline std::string TextToBytes(const QString& text)
{
    return Utf16ToBytes(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                            static_cast<std::size_t>(text.size())));
}

// The last component of a path ("/a/b.lnk" -> "b.lnk") and the folder before it.
inline std::string FileNameOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}
inline std::string FolderOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    return std::string(slash == 0 ? "/" : path.substr(0, slash));
}

} // namespace platform::ui
