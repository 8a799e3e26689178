#pragma once
// The kinds of change a folder watcher reports, and the set of them it is given.
#include <cstdint>
#include <initializer_list>

#include "platform/notify/ChangeKinds.h"

enum TNotifyFilter : std::uint8_t { nfFileName, nfDirName, nfAttributes, nfSize, nfLastWrite, nfSecurity };

// A set of TNotifyFilter, one byte: bit i stands for member i.
class TNotifyFilters {
public:
    constexpr TNotifyFilters() = default;
    constexpr TNotifyFilters(std::initializer_list<TNotifyFilter> members)
    {
        for (const TNotifyFilter m : members)
            bits_ = static_cast<std::uint8_t>(bits_ | (1u << m));
    }
    constexpr bool Contains(TNotifyFilter m) const { return bits_ & (1u << m); }
    constexpr std::uint8_t Bits() const { return bits_; }
    constexpr bool operator==(const TNotifyFilters&) const = default;

private:
    std::uint8_t bits_ = 0;
};

// The platform's value of one member, and of a set (the OR of its members' values).
constexpr std::uint32_t PlatformFilter(TNotifyFilter m)
{
    constexpr std::uint32_t values[] = {
        platform::notify::kChangeFileName, platform::notify::kChangeDirName,  platform::notify::kChangeAttributes,
        platform::notify::kChangeSize,     platform::notify::kChangeLastWrite, platform::notify::kChangeSecurity,
    };
    return values[m];
}

constexpr std::uint32_t PlatformFilter(TNotifyFilters set)
{
    std::uint32_t value = 0;
    for (int m = nfFileName; m <= nfSecurity; ++m)
        if (set.Contains(static_cast<TNotifyFilter>(m)))
            value |= PlatformFilter(static_cast<TNotifyFilter>(m));
    return value;
}
