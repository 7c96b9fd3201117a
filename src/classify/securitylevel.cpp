#include "securitylevel.h"

#include "store/appsettings.h"
#include "store/services.h"

#include <QStringList>

namespace SecurityLevels {

namespace {

struct Caption
{
    const char *key;
    const char *text;
};

// The description lines of each level, in order.
QList<Caption> descriptionLines(SecurityLevel level)
{
    switch (level) {
    case SecurityLevel::VeryHigh:
        return {{"10104", "*Only E-Mails from friend list will be accepted."},
                {"10102", "*Attachment Filter(.exe, .scr only) will be run"},
                {"10145", "*No spam word checking."},
                {"10157", "*Large message check will be applied(if checked)"}};
    case SecurityLevel::High:
        return {
            {"10098", "*Attachment Filter(.exe, .scr only) will be run on friend list"},
            {"10147", "*Attachment Filter(All Types) will be run on non-friend messages"},
            {"10148", "*Spam-Word checking threshold will be set to a low value, that means"},
            {"10149", "a non-friend message with a few spam words will be deleted"},
            {"10158", "*Large message check will be applied on non-friend senders(if checked)"}};
    case SecurityLevel::Normal:
        return {
            {"10102", "*Attachment Filter(.exe, .scr only) will be run"},
            {"10143", "*Spam-Word checking threshold will be set to a meduim value,"},
            {"10144", "   most spam mails will be deleted."},
            {"10158", "*Large message check will be applied on non-friend senders(if checked)"}};
    case SecurityLevel::Low:
        return {
            {"10100", "*Attachment Filter(.exe, .scr only) will be run on non-friend senders"},
            {"10150", "*Spam-Word checking threshold will be set to a high value,"},
            {"10151", "message will be deleted if it contains a lot of spam words."},
            {"10158", "*Large message check will be applied on non-friend senders(if checked)"}};
    case SecurityLevel::VeryLow:
        return {
            {"10106", "*Only Messages from Blocked list will be deleted"},
            {"10145", "*No Spam-Word checking"},
            {"10146", "*Repeated messages will not be deleted"},
            {"10158", "*Large message check will be applied on non-friend senders(if checked)"}};
    }
    return {};
}

QString lookUp(const Services &services, const Caption &caption)
{
    return services.caption(QString::fromLatin1(caption.key), QString::fromLatin1(caption.text));
}

} // namespace

std::optional<double> thresholdFactor(SecurityLevel level)
{
    switch (level) {
    case SecurityLevel::VeryHigh:
        return 0.4;
    case SecurityLevel::High:
        return 0.8;
    case SecurityLevel::Normal:
        return 1.0;
    case SecurityLevel::Low:
        return 1.4;
    case SecurityLevel::VeryLow:
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<float> effectiveThreshold(int spamThreshold, SecurityLevel level)
{
    const auto factor = thresholdFactor(level);
    if (!factor)
        return std::nullopt;
    return static_cast<float>(static_cast<double>(spamThreshold) * *factor);
}

void apply(AppSettings &settings, SecurityLevel level)
{
    settings.SecurityLevel = int(level);
    if (const auto threshold = effectiveThreshold(settings.SpamThreshold, level))
        settings.EffectiveThreshold = *threshold;
}

std::optional<SecurityLevel> applyStored(AppSettings &settings)
{
    const auto level = securityLevelFrom(settings.SecurityLevel);
    if (level)
        apply(settings, *level);
    return level;
}

QString levelName(const Services &services, SecurityLevel level)
{
    switch (level) {
    case SecurityLevel::VeryHigh:
        return lookUp(services, {"10103", "Very High"});
    case SecurityLevel::High:
        return lookUp(services, {"10097", "High"});
    case SecurityLevel::Normal:
        return lookUp(services, {"10101", "Normal"});
    case SecurityLevel::Low:
        return lookUp(services, {"10099", "Low"});
    case SecurityLevel::VeryLow:
        return lookUp(services, {"10105", "Very Low"});
    }
    return QString();
}

QString levelDescription(const Services &services, SecurityLevel level)
{
    QStringList lines;
    for (const Caption &line : descriptionLines(level))
        lines << lookUp(services, line);
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace SecurityLevels
