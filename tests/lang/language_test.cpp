#include "lang/inireader.h"
#include "lang/language.h"
#include "support/tempdatadir.h"

#include <gtest/gtest.h>

TEST(IniReader, ReadsTheKorvaneSectionLikeTheProfileFunctions)
{
    const QByteArray ini = "; a comment\r\n"
                           "10001=outside any section\r\n"
                           "[Other]\r\n"
                           "10002=other section\r\n"
                           " [ korvane ] \r\n"
                           "  10001  =  &Yes  \r\n"
                           "10002=\"  quoted  \"\r\n"
                           "10003='single'\r\n"
                           "10004=\"unbalanced\r\n"
                           "10005=\r\n"
                           "10001=second occurrence\r\n"
                           "Title=Mixed Case\n"
                           "[Korvane]\r\n"
                           "10006=second section\r\n";
    const struct
    {
        QByteArray key;
        std::optional<QByteArray> value;
    } cases[] = {
        {"10001", QByteArray("&Yes")},   {"10002", QByteArray("  quoted  ")},
        {"10003", QByteArray("single")}, {"10004", QByteArray("\"unbalanced")},
        {"10005", QByteArray("")},       {"TITLE", QByteArray("Mixed Case")},
        {"10006", std::nullopt},         {"99999", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.key.constData());
        EXPECT_EQ(readIniValue(ini, "Korvane", c.key), c.value);
    }
    EXPECT_EQ(readIniValue("no section at all", "Korvane", "1"), std::nullopt);
}

TEST(Language, PackTextOrEnglishDefault)
{
    TempDataDir dir;
    Language lang(dir.path());
    lang.LanguageFile = "English.ini";
    // No Lang folder at all: the defaults.
    EXPECT_EQ(lang.SetCaptionfromINI("10001", "&Ok"), "&Ok");

    dir.write("Lang/English.ini",
              "[Korvane]\r\n10001=&Yes\r\n10007=" + QByteArray(600, 'x')
                  + "\r\n10008=Gr\xc3\xbc\xc3\x9f"
                    "e\r\n10009=Caf\xe9\r\n");
    EXPECT_EQ(lang.SetCaptionfromINI("10001", "&Ok"), "&Yes");
    EXPECT_EQ(lang.SetCaptionfromINI("10002", "&Cancel"), "&Cancel");
    EXPECT_EQ(lang.SetCaptionfromINI("10007", "").size(), 499);
    EXPECT_EQ(lang.SetCaptionfromINI("10008", ""), QString::fromUtf8("Grüße"));
    EXPECT_EQ(lang.SetCaptionfromINI("10009", ""), QString::fromLatin1("Caf\xe9"));

    // The pack is read anew for every key.
    dir.write("Lang/English.ini", "[Korvane]\r\n10001=&Oui\r\n");
    EXPECT_EQ(lang.SetCaptionfromINI("10001", "&Ok"), "&Oui");
}

TEST(Language, UsersPackHidesTheShippedOneOfTheSameName)
{
    TempDataDir dir;
    Language lang(dir.file("data"), dir.file("share"));
    dir.write("share/Lang/English.ini", "[Korvane]\r\n10001=&Shipped\r\n");
    dir.write("share/Lang/Arabic.ini", "[Korvane]\r\n10001=&Arabic\r\n");
    dir.write("share/Lang/Arabic.bmp", "picture");
    lang.LanguageFile = "English.ini";
    EXPECT_EQ(lang.SetCaptionfromINI("10001", "&Ok"), "&Shipped");

    dir.write("data/Lang/English.ini", "[Korvane]\r\n10001=&Own\r\n");
    dir.write("data/Lang/Mine.ini", "[Korvane]\r\n10001=&Mine\r\n");
    EXPECT_EQ(lang.SetCaptionfromINI("10001", "&Ok"), "&Own");
    lang.LanguageFile = "Arabic.ini";
    EXPECT_EQ(lang.SetCaptionfromINI("10001", "&Ok"), "&Arabic");
    lang.LanguageFile = "German.ini";
    EXPECT_EQ(lang.SetCaptionfromINI("10001", "&Ok"), "&Ok");
    EXPECT_EQ(lang.packFiles(),
              QStringList({dir.file("share/Lang/Arabic.bmp"), dir.file("share/Lang/Arabic.ini"),
                           dir.file("data/Lang/English.ini"), dir.file("data/Lang/Mine.ini")}));
}

TEST(Language, NormalizesTheStoredFileName)
{
    EXPECT_EQ(Language::normalizedFileName(""), "English.ini");
    EXPECT_EQ(Language::normalizedFileName("Arabic"), "Arabic.ini");
    EXPECT_EQ(Language::normalizedFileName("German.INI"), "German.INI");
    TempDataDir dir;
    Language lang(dir.path());
    lang.LanguageFile = "Arabic.ini";
    EXPECT_TRUE(lang.isRightToLeft());
    lang.LanguageFile = "arabic.ini";
    EXPECT_FALSE(lang.isRightToLeft());
}
