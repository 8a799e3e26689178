#pragma once
// Programs and icon files made in memory: PE32 and PE32+ files with a resource section
// holding icon groups, .ico files, a 16-bit NE stub, and the DIBs inside them. The
// layout is fixed, so tests can damage a field at a known place.
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct IconImageSpec {
    int size = 16;                   // width and height
    std::vector<std::uint8_t> bytes; // a DIB (MakeDib) or a PNG stream
    int bitCount = 32;               // as the directory entry states it
};

struct IconGroupSpec {
    std::uint16_t id = 0;  // 0: a named group
    std::string name;      // ASCII, for a named group
    std::vector<IconImageSpec> images;
};

// An icon DIB of size x size, every pixel `rgb`: 32-bit with alpha 255, or 8-bit with
// a palette. The AND mask marks the top-left pixel transparent.
inline std::vector<std::uint8_t> MakeDib(int size, std::uint32_t rgb, int bitCount = 32)
{
    auto put32 = [](std::vector<std::uint8_t>& v, std::uint32_t x) {
        for (int i = 0; i < 4; ++i)
            v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
    };
    std::vector<std::uint8_t> v;
    put32(v, 40);
    put32(v, static_cast<std::uint32_t>(size));
    put32(v, static_cast<std::uint32_t>(size * 2)); // colour rows and mask rows
    v.push_back(1), v.push_back(0);                 // planes
    v.push_back(static_cast<std::uint8_t>(bitCount)), v.push_back(0);
    for (int i = 0; i < 6; ++i)
        put32(v, 0); // compression, image size, resolution, colours used and important
    const std::uint8_t r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
    if (bitCount == 8) {
        for (int i = 0; i < 256; ++i) // palette entry 1 is the colour, the rest black
            v.push_back(i == 1 ? b : 0), v.push_back(i == 1 ? g : 0), v.push_back(i == 1 ? r : 0), v.push_back(0);
        const int stride = (size + 3) / 4 * 4;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < stride; ++x)
                v.push_back(x < size ? 1 : 0);
    } else {
        for (int i = 0; i < size * size; ++i)
            v.push_back(b), v.push_back(g), v.push_back(r), v.push_back(0xFF);
    }
    const int maskStride = (size + 31) / 32 * 4;
    for (int y = 0; y < size; ++y) // bottom row first: the last row stored is the top one
        for (int x = 0; x < maskStride; ++x)
            v.push_back(y == size - 1 && x == 0 ? 0x80 : 0);
    return v;
}

// Where BuildPe put things, as file offsets.
struct PeLayout {
    std::size_t coff = 0x44;       // COFF header (NumberOfSections at +2)
    std::size_t optional = 0x58;   // optional header
    std::size_t dataDirectories = 0;
    std::size_t sectionTable = 0;
    std::size_t resources = 0x200; // the resource section's raw data; RVA 0x1000
    std::size_t groupTypeEntry = 0; // the root's RT_GROUP_ICON entry
    std::size_t firstGroupLanguage = 0; // the language directory of the first group
    std::size_t firstGroupDataEntry = 0;
    std::size_t firstGroupData = 0;
    std::size_t firstImageDataEntry = 0; // of RT_ICON 1, the first group's first image
    std::size_t firstImageData = 0;
};

// A PE32 (or PE32+) file whose one section holds the icon groups, named ones first,
// with `overlay` bytes after the section, as installers carry their payload.
inline std::vector<std::uint8_t> BuildPe(bool pe32plus, const std::vector<IconGroupSpec>& groups,
                                          std::size_t overlay = 0, PeLayout* layoutOut = nullptr)
{
    PeLayout layout;
    std::vector<std::uint8_t> f(0x200, 0);
    auto set16 = [](std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
        v[at] = x & 0xFF, v[at + 1] = x >> 8 & 0xFF;
    };
    auto set32 = [&](std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
        set16(v, at, x & 0xFFFF), set16(v, at + 2, x >> 16);
    };
    f[0] = 'M', f[1] = 'Z';
    set32(f, 0x3C, 0x40);
    f[0x40] = 'P', f[0x41] = 'E';
    const std::uint16_t optionalSize = pe32plus ? 240 : 224;
    set16(f, layout.coff, pe32plus ? 0x8664 : 0x14C);
    set16(f, layout.coff + 2, 1);
    set16(f, layout.coff + 16, optionalSize);
    set16(f, layout.coff + 18, 0x2102);
    set16(f, layout.optional, pe32plus ? 0x20B : 0x10B);
    const std::size_t countAt = layout.optional + (pe32plus ? 108 : 92);
    set32(f, countAt, 16);
    layout.dataDirectories = countAt + 4;
    layout.sectionTable = layout.optional + optionalSize;

    // The resource tree, offsets from its start; data placed after it.
    std::vector<std::uint8_t> r;
    auto dir = [&](int named, int ids) {
        const std::size_t at = r.size();
        r.resize(r.size() + 16 + 8 * std::size_t(named + ids), 0);
        set16(r, at + 12, std::uint32_t(named));
        set16(r, at + 14, std::uint32_t(ids));
        return at;
    };
    std::vector<std::pair<int, std::size_t>> images; // RT_ICON id -> image
    const std::size_t root = dir(0, 2);
    int namedCount = 0;
    for (const auto& g : groups)
        namedCount += g.id == 0;
    std::size_t imageCount = 0;
    for (const auto& g : groups)
        imageCount += g.images.size();
    const std::size_t iconDir = dir(0, int(imageCount));
    const std::size_t groupDir = dir(namedCount, int(groups.size()) - namedCount);
    set32(r, root + 16, 3), set32(r, root + 20, 0x80000000u | std::uint32_t(iconDir));
    set32(r, root + 24, 14), set32(r, root + 28, 0x80000000u | std::uint32_t(groupDir));
    layout.groupTypeEntry = layout.resources + root + 24;

    // Group data and image data, each with a language directory and a data entry.
    std::vector<std::vector<std::uint8_t>> blobs;
    std::vector<std::size_t> dataEntries;
    auto leaf = [&](std::size_t entryAt, std::uint32_t nameField, std::vector<std::uint8_t> blob) {
        const std::size_t language = dir(0, 1);
        const std::size_t dataEntry = r.size();
        r.resize(r.size() + 16, 0);
        set32(r, language + 16, 0x409);
        set32(r, language + 20, std::uint32_t(dataEntry));
        set32(r, entryAt, nameField);
        set32(r, entryAt + 4, 0x80000000u | std::uint32_t(language));
        dataEntries.push_back(dataEntry);
        blobs.push_back(std::move(blob));
        return language;
    };
    // Groups in directory order: named ones first.
    std::vector<const IconGroupSpec*> ordered;
    for (const auto& g : groups)
        if (g.id == 0)
            ordered.push_back(&g);
    for (const auto& g : groups)
        if (g.id != 0)
            ordered.push_back(&g);
    int nextIconId = 1;
    std::size_t slot = 0;
    std::vector<std::size_t> nameFixups; // (entry, name) resolved once names are placed
    std::vector<std::string> names;
    for (const IconGroupSpec* g : ordered) {
        std::vector<std::uint8_t> data(6 + 14 * g->images.size(), 0);
        set16(data, 2, 1);
        set16(data, 4, std::uint32_t(g->images.size()));
        for (std::size_t i = 0; i < g->images.size(); ++i) {
            const IconImageSpec& im = g->images[i];
            std::uint8_t* e = data.data() + 6 + 14 * i;
            e[0] = e[1] = static_cast<std::uint8_t>(im.size >= 256 ? 0 : im.size);
            e[4] = 1;
            e[6] = static_cast<std::uint8_t>(im.bitCount);
            const std::uint32_t n = std::uint32_t(im.bytes.size());
            e[8] = n & 0xFF, e[9] = n >> 8 & 0xFF, e[10] = n >> 16 & 0xFF, e[11] = n >> 24;
            e[12] = static_cast<std::uint8_t>(nextIconId), e[13] = static_cast<std::uint8_t>(nextIconId >> 8);
            images.emplace_back(nextIconId++, 0);
        }
        const std::size_t entryAt = groupDir + 16 + 8 * slot++;
        const std::size_t language = leaf(entryAt, g->id, std::move(data));
        if (ordered.front() == g)
            layout.firstGroupLanguage = layout.resources + language;
        if (g->id == 0) {
            nameFixups.push_back(entryAt);
            names.push_back(g->name);
        }
    }
    const std::size_t firstGroupBlob = 0;
    std::size_t imageSlot = 0;
    for (const IconGroupSpec* g : ordered)
        for (const IconImageSpec& im : g->images) {
            leaf(iconDir + 16 + 8 * imageSlot, std::uint32_t(images[imageSlot].first), im.bytes);
            ++imageSlot;
        }
    for (std::size_t i = 0; i < nameFixups.size(); ++i) {
        const std::size_t at = r.size();
        r.resize(r.size() + 2 + 2 * names[i].size(), 0);
        set16(r, at, std::uint32_t(names[i].size()));
        for (std::size_t c = 0; c < names[i].size(); ++c)
            r[at + 2 + 2 * c] = static_cast<std::uint8_t>(names[i][c]);
        set32(r, nameFixups[i], 0x80000000u | std::uint32_t(at));
    }
    for (std::size_t i = 0; i < blobs.size(); ++i) {
        while (r.size() % 8)
            r.push_back(0);
        const std::size_t at = r.size();
        r.insert(r.end(), blobs[i].begin(), blobs[i].end());
        set32(r, dataEntries[i], 0x1000 + std::uint32_t(at));
        set32(r, dataEntries[i] + 4, std::uint32_t(blobs[i].size()));
        if (i == firstGroupBlob) {
            layout.firstGroupDataEntry = layout.resources + dataEntries[i];
            layout.firstGroupData = layout.resources + at;
        }
        if (i == ordered.size()) {
            layout.firstImageDataEntry = layout.resources + dataEntries[i];
            layout.firstImageData = layout.resources + at;
        }
    }
    const std::uint32_t rawSize = std::uint32_t((r.size() + 0x1FF) / 0x200 * 0x200);
    r.resize(rawSize, 0);
    set32(f, layout.dataDirectories + 2 * 8, 0x1000);
    set32(f, layout.dataDirectories + 2 * 8 + 4, rawSize);
    const std::size_t s = layout.sectionTable;
    const char name[] = ".rsrc";
    for (int i = 0; i < 5; ++i)
        f[s + std::size_t(i)] = static_cast<std::uint8_t>(name[i]);
    set32(f, s + 8, rawSize);
    set32(f, s + 12, 0x1000);
    set32(f, s + 16, rawSize);
    set32(f, s + 20, std::uint32_t(layout.resources));
    set32(f, s + 36, 0x40000040);
    f.insert(f.end(), r.begin(), r.end());
    f.resize(f.size() + overlay, 0x5A);
    if (layoutOut)
        *layoutOut = layout;
    return f;
}

// An .ico file holding the images, one after another after the directory.
inline std::vector<std::uint8_t> BuildIco(const std::vector<IconImageSpec>& images)
{
    std::vector<std::uint8_t> f = {0, 0, 1, 0, static_cast<std::uint8_t>(images.size()), 0};
    std::size_t offset = 6 + 16 * images.size();
    for (const IconImageSpec& im : images) {
        const std::uint32_t n = std::uint32_t(im.bytes.size()), o = std::uint32_t(offset);
        const auto side = static_cast<std::uint8_t>(im.size >= 256 ? 0 : im.size);
        const std::uint8_t entry[16] = {side, side, 0, 0, 1, 0, static_cast<std::uint8_t>(im.bitCount), 0,
                                        static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                                        static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24),
                                        static_cast<std::uint8_t>(o), static_cast<std::uint8_t>(o >> 8),
                                        static_cast<std::uint8_t>(o >> 16), static_cast<std::uint8_t>(o >> 24)};
        f.insert(f.end(), entry, entry + 16);
        offset += n;
    }
    for (const IconImageSpec& im : images)
        f.insert(f.end(), im.bytes.begin(), im.bytes.end());
    return f;
}

// The start of a 16-bit Windows program: a DOS header leading to an "NE" header.
inline std::vector<std::uint8_t> BuildNe()
{
    std::vector<std::uint8_t> f(0x100, 0);
    f[0] = 'M', f[1] = 'Z';
    f[0x3C] = 0x80;
    f[0x80] = 'N', f[0x81] = 'E';
    return f;
}

} // namespace testsupport
