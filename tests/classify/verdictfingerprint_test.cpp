#include "classify/verdictfingerprint.h"
#include "store/appsettings.h"
#include "store/maillists.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

struct Inputs
{
    AppSettings settings;
    MailLists lists;
    FakeClock clock;

    Inputs()
    {
        lists.FriendList = {"anna@home.test", "*@work.test"};
        lists.FriendListLoaded = true;
        lists.BlockedList = {"*@spam.test"};
        lists.BlockedListLoaded = true;
        lists.BadWords = {{"viagra", 100}, {"free money", 60}};
        lists.BadWordsLoaded = true;
    }
    QByteArray fingerprint() const { return VerdictFingerprint(settings, lists, clock); }
};

struct Change
{
    const char *input;
    std::function<void(Inputs &)> apply;
};

} // namespace

TEST(VerdictFingerprint, EveryInputTheRulesReadChangesIt)
{
    const Change changes[] = {
        {"a friend added",
         [](Inputs &in) {
             in.lists.FriendList << "bob@home.test";
         }},
        {"friends reordered",
         [](Inputs &in) {
             std::swap(in.lists.FriendList[0], in.lists.FriendList[1]);
         }},
        {"friend list not loaded",
         [](Inputs &in) {
             in.lists.FriendListLoaded = false;
         }},
        {"a blocked pattern edited",
         [](Inputs &in) {
             in.lists.BlockedList[0] = "*@spam.tes";
         }},
        {"blocked list not loaded",
         [](Inputs &in) {
             in.lists.BlockedListLoaded = false;
         }},
        {"an entry moved between lists",
         [](Inputs &in) {
             in.lists.BlockedList << in.lists.FriendList.takeLast();
         }},
        {"a word's weight",
         [](Inputs &in) {
             in.lists.BadWords[1].Value = 61;
         }},
        {"a word's text",
         [](Inputs &in) {
             in.lists.BadWords[0].Word = "Viagra";
         }},
        {"a word removed",
         [](Inputs &in) {
             in.lists.BadWords.removeLast();
         }},
        {"words not loaded",
         [](Inputs &in) {
             in.lists.BadWordsLoaded = false;
         }},
        {"two words joined into one",
         [](Inputs &in) {
             in.lists.BadWords = {{"viagrafree money", 100}};
         }},
        {"security level",
         [](Inputs &in) {
             in.settings.SecurityLevel = 2;
         }},
        {"typed threshold",
         [](Inputs &in) {
             in.settings.SpamThreshold = 201;
         }},
        {"effective threshold in its last bit",
         [](Inputs &in) {
             in.settings.EffectiveThreshold
                 = std::nextafter(in.settings.EffectiveThreshold, 1000.0f);
         }},
        {"size rule on",
         [](Inputs &in) {
             in.settings.CheckLargerThan = true;
         }},
        {"size limit",
         [](Inputs &in) {
             in.settings.MaxSizeKB = 501;
         }},
        {"repeated rule off",
         [](Inputs &in) {
             in.settings.DeleteRepeated = false;
         }},
        {"a watched type added",
         [](Inputs &in) {
             in.settings.WatchedExtensions << "PIF";
         }},
        {"a watched type's case",
         [](Inputs &in) {
             in.settings.WatchedExtensions[0] = "exe";
         }},
        {"age rule off",
         [](Inputs &in) {
             in.settings.DelOld = false;
         }},
        {"age limit",
         [](Inputs &in) {
             in.settings.Days = 31;
         }},
        {"the next day",
         [](Inputs &in) {
             in.clock.current = in.clock.current.addDays(1);
         }},
    };
    const QByteArray base = Inputs().fingerprint();
    EXPECT_EQ(base.size(), 32);
    for (const Change &change : changes) {
        Inputs changed;
        change.apply(changed);
        EXPECT_NE(changed.fingerprint(), base) << change.input;
    }
}

TEST(VerdictFingerprint, SettingsTheRulesDoNotReadLeaveItAlone)
{
    const Inputs base;
    Inputs laterHour;
    laterHour.clock.current = laterHour.clock.current.addSecs(3600);
    EXPECT_EQ(laterHour.fingerprint(), base.fingerprint());

    Inputs popups;
    popups.settings.NotifyAfterDel = false;
    popups.settings.AskBeforeDel = false;
    popups.settings.ChekPeriod = 5;
    EXPECT_EQ(popups.fingerprint(), base.fingerprint());

    // Without the age rule no verdict depends on the date.
    Inputs ageOff;
    ageOff.settings.DelOld = false;
    Inputs nextDay = ageOff;
    nextDay.clock.current = nextDay.clock.current.addDays(1);
    EXPECT_EQ(nextDay.fingerprint(), ageOff.fingerprint());
}

// The value is pinned: a digest that took in an address or a per-run hash seed would differ
// from one run to the next.
TEST(VerdictFingerprint, IsTheSameInEveryRun)
{
    EXPECT_EQ(Inputs().fingerprint(), QByteArray("62d747586900cdbd50c62f68cc7bda66"));
}
