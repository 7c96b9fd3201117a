#pragma once

#include <QString>

#include <optional>

struct Services;

// The five security levels, 1 Very High (strictest) to 5 Very Low: their names, their
// descriptions and the scaling of the spam word threshold.
namespace SecurityLevels {

constexpr int veryHigh = 1;
constexpr int high = 2;
constexpr int normal = 3;
constexpr int low = 4;
constexpr int veryLow = 5;

constexpr bool isLevel(int level)
{
    return level >= veryHigh && level <= veryLow;
}

// The factor applied to the typed threshold: 0.4, 0.8, 1 and 1.4 for levels 1 to 4.
// Nothing at Very Low, which runs no spam word test, and for a value that is no level.
std::optional<double> thresholdFactor(int level);

// The typed threshold times the level's factor, formed in double and kept as float;
// nothing where the level has no factor.
std::optional<float> effectiveThreshold(int spamThreshold, int level);

// The level's name ("Very High" .. "Very Low") from the language pack; empty for no level.
QString levelName(const Services &services, int level);

// The level's description lines from the language pack joined with CR LF; empty for
// no level.
QString levelDescription(const Services &services, int level);

} // namespace SecurityLevels
