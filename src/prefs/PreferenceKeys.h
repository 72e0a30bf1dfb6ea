#pragma once

#include <array>
#include <string_view>

namespace quorvel {

// Every key the application keeps in its standard user-defaults domain, in one place. None is
// registered with a default: each reader (Preferences.h) applies its owner's default when the key
// is absent, so an unset key and a key set to the default stay distinguishable on disk.
namespace PreferenceKeys {
inline constexpr auto languagePreference = "QuorvelLanguagePreference";
// The platform's own language-order key: written as a one-element list, never read back.
inline constexpr auto appleLanguages = "AppleLanguages";
inline constexpr auto menuBarCountdownText = "QuorvelMenuBarCountdownText";
inline constexpr auto updateAutoCheckEnabled = "QuorvelUpdateAutoCheckEnabled";
inline constexpr auto updateLastCheckAt = "QuorvelUpdateLastCheckAt";
inline constexpr auto clamshellAutoExitThreshold = "QuorvelClamshellAutoExitThreshold";
inline constexpr auto displayAwakeLastEnabled = "QuorvelDisplayAwakeLastEnabled";
inline constexpr auto notifyWhenSessionEnds = "QuorvelNotifyWhenSessionEnds";
// Set by hand only; no user interface writes it.
inline constexpr auto diagnosticMinLogLevel = "diagnosticMinLogLevel";
} // namespace PreferenceKeys

enum class PreferenceType { text, textList, boolean, integer, floatingPoint };

struct PreferenceKeyInfo {
    std::string_view key;
    PreferenceType type;
    // The value a reader uses when the key is absent, written as text; empty for "absent".
    std::string_view defaultWhenAbsent;
};

inline constexpr std::array<PreferenceKeyInfo, 9> preferenceKeyTable{{
    {PreferenceKeys::languagePreference, PreferenceType::text, "system"},
    {PreferenceKeys::appleLanguages, PreferenceType::textList, ""},
    {PreferenceKeys::menuBarCountdownText, PreferenceType::boolean, "false"},
    {PreferenceKeys::updateAutoCheckEnabled, PreferenceType::boolean, "true"},
    {PreferenceKeys::updateLastCheckAt, PreferenceType::floatingPoint, ""},
    {PreferenceKeys::clamshellAutoExitThreshold, PreferenceType::integer, "20"},
    {PreferenceKeys::displayAwakeLastEnabled, PreferenceType::boolean, "false"},
    {PreferenceKeys::notifyWhenSessionEnds, PreferenceType::boolean, "true"},
    {PreferenceKeys::diagnosticMinLogLevel, PreferenceType::text, "info"},
}};

} // namespace quorvel
