#pragma once

/** The switch matrix as a new editor shows it, and as a new processor applies it
    until its poll first copies an editor's switches. Channel indices are 0-based. */
namespace SwitchDefaults
{
constexpr int numChannels = 16;

/** The bass switch of this channel exists but is never shown, and stays off. */
constexpr int hiddenBassChannel = 3;

constexpr bool isMuted (int channel) noexcept { return channel >= 12 && channel <= 15; }
constexpr bool isSoloed (int channel) noexcept { return channel >= 8 && channel <= 11; }
constexpr bool isBassManaged (int channel) noexcept { return channel >= 4 && channel <= 11; }

constexpr bool mutesBypassed = false;
constexpr bool solosBypassed = true;
constexpr bool bassManagementBypassed = false;
} // namespace SwitchDefaults
