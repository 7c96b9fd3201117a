#include "securitylevel.h"

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
QList<Caption> descriptionLines(int level)
{
    switch (level) {
    case veryHigh:
        return {{"10104", "*Only E-Mails from friend list will be accepted."},
                {"10102", "*Attachment Filter(.exe, .scr only) will be run"},
                {"10145", "*No spam word checking."},
                {"10157", "*Large message check will be applied(if checked)"}};
    case high:
        return {{"10098", "*Attachment Filter(.exe, .scr only) will be run on friend list"},
                {"10147", "*Attachment Filter(All Types) will be run on non-friend messages"},
                {"10148", "*Spam-Word checking threshold will be set to a low value, that means"},
                {"10149", "a non-friend message with a few spam words will be deleted"},
                {"10158", "*Large message check will be applied on non-friend senders(if checked)"}};
    case normal:
        return {{"10102", "*Attachment Filter(.exe, .scr only) will be run"},
                {"10143", "*Spam-Word checking threshold will be set to a meduim value,"},
                {"10144", "   most spam mails will be deleted."},
                {"10158", "*Large message check will be applied on non-friend senders(if checked)"}};
    case low:
        return {{"10100", "*Attachment Filter(.exe, .scr only) will be run on non-friend senders"},
                {"10150", "*Spam-Word checking threshold will be set to a high value,"},
                {"10151", "message will be deleted if it contains a lot of spam words."},
                {"10158", "*Large message check will be applied on non-friend senders(if checked)"}};
    case veryLow:
        return {{"10106", "*Only Messages from Blocked list will be deleted"},
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

std::optional<double> thresholdFactor(int level)
{
    switch (level) {
    case veryHigh:
        return 0.4;
    case high:
        return 0.8;
    case normal:
        return 1.0;
    case low:
        return 1.4;
    }
    return std::nullopt;
}

std::optional<float> effectiveThreshold(int spamThreshold, int level)
{
    const auto factor = thresholdFactor(level);
    if (!factor)
        return std::nullopt;
    return static_cast<float>(static_cast<double>(spamThreshold) * *factor);
}

QString levelName(const Services &services, int level)
{
    static constexpr Caption names[] = {{"10103", "Very High"},
                                        {"10097", "High"},
                                        {"10101", "Normal"},
                                        {"10099", "Low"},
                                        {"10105", "Very Low"}};
    if (!isLevel(level))
        return QString();
    return lookUp(services, names[level - 1]);
}

QString levelDescription(const Services &services, int level)
{
    QStringList lines;
    for (const Caption &line : descriptionLines(level))
        lines << lookUp(services, line);
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace SecurityLevels
