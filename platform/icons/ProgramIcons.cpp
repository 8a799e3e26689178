#include "platform/icons/ProgramIcons.h"

#include <QPainter>

#include "platform/iconfile/FileBytes.h"
#include "platform/iconfile/IconBitmap.h"
#include "platform/util/Text.h"

namespace platform {

using namespace iconfile;

namespace {

// At most this many of a group's images are tried for one picture, so a group of
// hundreds of broken entries costs little.
constexpr std::size_t kImagesTried = 8;

QImage Fit(QImage image, int size)
{
    if (image.isNull() || (image.width() == size && image.height() == size))
        return image;
    image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (image.width() == size && image.height() == size)
        return image;
    // Not square: centred on a transparent square, as the list draws squares.
    QImage square(size, size, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    {
        QPainter painter(&square);
        painter.drawImage((size - image.width()) / 2, (size - image.height()) / 2, image);
    }
    return square;
}

} // namespace

bool ShowsOwnIcon(std::string_view name)
{
    const auto dot = name.find_last_of('.');
    if (dot == std::string_view::npos)
        return false;
    const std::string ext = AsciiLower(name.substr(dot));
    return ext == ".exe" || ext == ".cpl" || ext == ".scr" || ext == ".ico";
}

QImage DecodeIconImage(std::span<const std::uint8_t> bytes)
{
    if (IsPng(bytes)) {
        if (!PngSize(bytes))
            return {};
        QImage image = QImage::fromData(bytes.data(), static_cast<int>(bytes.size()), "PNG");
        return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32);
    }
    const auto pixels = DecodeIconDib(bytes);
    if (!pixels)
        return {};
    QImage image(pixels->width, pixels->height, QImage::Format_ARGB32);
    if (image.isNull())
        return image;
    for (int y = 0; y < pixels->height; ++y)
        std::copy_n(pixels->argb.data() + static_cast<std::size_t>(y) * pixels->width, pixels->width,
                    reinterpret_cast<std::uint32_t*>(image.scanLine(y)));
    return image;
}

QImage IconGroupImage(const IconFileReader& reader, const IconGroup& group, int size)
{
    std::size_t tried = 0;
    for (std::size_t i : IconFileReader::ImagesBySuitability(group, size)) {
        if (tried++ == kImagesTried)
            break;
        const auto bytes = reader.ReadImage(group.images[i]);
        if (!bytes)
            continue;
        QImage image = DecodeIconImage(*bytes);
        if (!image.isNull())
            return Fit(std::move(image), size);
    }
    return {};
}

std::optional<IconPictures> ReadIconPictures(const std::string& hostPath, int iconIndex)
{
    const auto file = FileBytes::Open(hostPath);
    if (!file)
        return std::nullopt;
    const IconFileReader reader(*file);
    const auto position = reader.GroupOfIconIndex(iconIndex);
    if (!position)
        return std::nullopt;
    const auto group = reader.ReadGroup(*position);
    if (!group)
        return std::nullopt;
    IconPictures pictures{IconGroupImage(reader, *group, 16), IconGroupImage(reader, *group, 32)};
    if (pictures.small.isNull() && pictures.large.isNull())
        return std::nullopt;
    // One size decoded and the other not: the one there stands for both.
    if (pictures.small.isNull())
        pictures.small = Fit(pictures.large, 16);
    if (pictures.large.isNull())
        pictures.large = Fit(pictures.small, 32);
    return pictures;
}

AllIcons ReadAllIcons(const std::string& hostPath, int size, int iconIndex, const std::atomic<bool>* cancel)
{
    AllIcons all;
    const auto file = FileBytes::Open(hostPath);
    if (!file)
        return all;
    all.opened = true;
    const IconFileReader reader(*file);
    all.named = reader.GroupOfIconIndex(iconIndex);
    const std::size_t count = reader.GroupCount();
    for (std::size_t i = 0; i < count; ++i) {
        if (cancel && cancel->load())
            break;
        const auto group = reader.ReadGroup(i);
        all.pictures.push_back(group ? IconGroupImage(reader, *group, size) : QImage());
    }
    return all;
}

} // namespace platform
