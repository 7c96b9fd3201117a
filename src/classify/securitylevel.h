#pragma once

#include <QString>

#include <optional>

struct AppSettings;
struct Services;

// The five security levels, 1 Very High (strictest) to 5 Very Low. The settings keep the
// number; securityLevelFrom() reads it back.
enum class SecurityLevel { VeryHigh = 1, High, Normal, Low, VeryLow };

inline constexpr SecurityLevel allSecurityLevels[]
    = {SecurityLevel::VeryHigh, SecurityLevel::High, SecurityLevel::Normal, SecurityLevel::Low,
       SecurityLevel::VeryLow};

// The level a stored number stands for; nothing for a number that is no level.
constexpr std::optional<SecurityLevel> securityLevelFrom(int stored)
{
    if (stored < int(SecurityLevel::VeryHigh) || stored > int(SecurityLevel::VeryLow))
        return std::nullopt;
    return SecurityLevel(stored);
}

// The levels' names, their descriptions and the scaling of the spam word threshold.
namespace SecurityLevels {

// The factor applied to the typed threshold: 0.4, 0.8, 1 and 1.4 for Very High to Low.
// Nothing at Very Low, which runs no spam word test.
std::optional<double> thresholdFactor(SecurityLevel level);

// The typed threshold times the level's factor, formed in double and kept as float;
// nothing where the level has no factor.
std::optional<float> effectiveThreshold(int spamThreshold, SecurityLevel level);

// Puts a level into effect: SecurityLevel becomes it and EffectiveThreshold the typed
// SpamThreshold scaled for it. Very Low keeps the threshold it had: it runs no spam word
// test, so that value is never used while it is in effect.
void apply(AppSettings &settings, SecurityLevel level);

// Puts the stored SecurityLevel into effect again and gives it; a stored number that is no
// level changes nothing and gives nothing.
std::optional<SecurityLevel> applyStored(AppSettings &settings);

// The level's name ("Very High" .. "Very Low") from the language pack.
QString levelName(const Services &services, SecurityLevel level);

// The level's description lines from the language pack joined with CR LF.
QString levelDescription(const Services &services, SecurityLevel level);

} // namespace SecurityLevels
