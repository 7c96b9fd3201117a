#include "lang/language.h"
#include "support/tempdatadir.h"

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

// The shipped packs against the keys the sources look up, as scripts/langkeys.py lists them:
// with a shipped pack no caption may fall back to "??ERROR??" or to an untranslated text.

namespace {

const QString sourceDir = QStringLiteral(KORVANE_SOURCE_DIR);

// Key -> the English texts given at its places of use (an empty text where none is given).
using KeyTexts = QMap<QString, QStringList>;

KeyTexts scannedKeys(const QString &src)
{
    QProcess scanner;
    scanner.start(
        QStringLiteral("python3"),
        {sourceDir + QStringLiteral("/scripts/langkeys.py"), QStringLiteral("--src"), src});
    if (!scanner.waitForFinished(120000) || scanner.exitCode() != 0) {
        ADD_FAILURE() << "scripts/langkeys.py failed: "
                      << scanner.readAllStandardError().toStdString();
        return {};
    }
    KeyTexts keys;
    const QStringList lines
        = QString::fromUtf8(scanner.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const qsizetype tab = line.indexOf(u'\t');
        keys[line.left(tab)] << line.mid(tab + 1);
    }
    return keys;
}

const KeyTexts &codeKeys()
{
    static const KeyTexts keys = scannedKeys(sourceDir + QStringLiteral("/src"));
    return keys;
}

QByteArray shippedPack(const QString &name)
{
    QFile file(sourceDir + QStringLiteral("/lang/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

// The keys of the first [Korvane] section, in the order written.
QStringList keysOfPack(const QByteArray &pack)
{
    QStringList keys;
    bool inside = false;
    bool done = false;
    for (const QByteArray &raw : pack.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            done = done || inside;
            inside = !done && line.mid(1, line.indexOf(']') - 1).trimmed().toLower() == "korvane";
        } else if (inside && line.contains('=') && !line.startsWith(';')) {
            keys << QString::fromLatin1(line.left(line.indexOf('=')).trimmed());
        }
    }
    return keys;
}

// The pack installed in a data folder and looked up as the program does.
struct InstalledPack
{
    explicit InstalledPack(const QString &name)
    {
        dir.write(QStringLiteral("Lang/") + name, shippedPack(name));
        lang.LanguageFile = name;
    }
    QString text(const QString &key) const
    {
        return lang.SetCaptionfromINI(key, QStringLiteral("??ERROR??"));
    }
    TempDataDir dir;
    Language lang {dir.path()};
};

QStringList sorted(QSet<QString> keys)
{
    QStringList list(keys.begin(), keys.end());
    std::sort(list.begin(), list.end(),
              [](const QString &a, const QString &b) { return a.toLongLong() < b.toLongLong(); });
    return list;
}

QString edgeBlanks(const QString &text)
{
    static const QRegularExpression edges(QStringLiteral("^( *).*?( *)$"),
                                          QRegularExpression::DotMatchesEverythingOption);
    const auto m = edges.match(text);
    return QStringLiteral("%1|%2").arg(m.captured(1).size()).arg(m.captured(2).size());
}

QStringList placeholders(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("%[0-9]"));
    QStringList found;
    for (auto it = number.globalMatch(text); it.hasNext();)
        found << it.next().captured();
    found.sort();
    return found;
}

} // namespace

TEST(LangKeys, FindsKeysInEveryFormTheCodeUses)
{
    TempDataDir src;
    src.write("ui/window.cpp",
              "// c(\"10002\", \"in a comment\")\n"
              "/* \"10003\" */\n"
              "void f() {\n"
              "    m_services.caption(QStringLiteral(\"10001\"),\n"
              "                       QStringLiteral(\"two \"\n"
              "                                      \"parts, \\\"quoted\\\" \\u2014 \"));\n"
              "    setTitle(c(\"70001\", \"Today\"));\n"
              "    const QString n = QString::number(12345) + \"200000\" + \"123456789\";\n"
              "    box->setText(QStringLiteral(\"32767\"));\n"
              "    label->setText(caption(u\"70003\"_s, u\"Checking \"_s u\"Period\"_s));\n"
              "    lookUp(services, {\"10104\", \"*Only friends.\"});\n"
              "    c(\"70001\", \"Today\");\n"
              "    c(\"70002\", \"First\");\n"
              "    c(\"70002\", \"Second\");\n"
              "}\n");
    src.write("store/keys.h", "constexpr const char *k() { return \"70043\"; }\n");
    const KeyTexts expected {
        {"10001", {QString::fromUtf8("two parts, \"quoted\" \u2014 ")}},
        {"10104", {"*Only friends."}},
        {"70001", {"Today"}},
        {"70002", {"First", "Second"}},
        {"70003", {"Checking Period"}},
        {"70043", {""}},
    };
    EXPECT_EQ(scannedKeys(src.path()), expected);
}

TEST(ShippedPacks, HoldExactlyTheKeysTheCodeLooksUp)
{
    const QStringList used = codeKeys().keys();
    ASSERT_FALSE(used.isEmpty());
    for (const QString pack : {"English.ini", "Arabic.ini"}) {
        const QStringList held = keysOfPack(shippedPack(pack));
        const QSet<QString> heldSet(held.begin(), held.end());
        const QSet<QString> usedSet(used.begin(), used.end());
        const QStringList missing = sorted(usedSet - heldSet);
        const QStringList extra = sorted(heldSet - usedSet);
        QString missingLines;
        for (const QString &key : missing)
            missingLines += QStringLiteral("\n  %1=%2").arg(key, codeKeys().value(key).first());
        EXPECT_TRUE(missing.isEmpty())
            << pack.toStdString()
            << " lacks these keys (English texts of the code):" << missingLines.toStdString();
        EXPECT_TRUE(extra.isEmpty())
            << pack.toStdString()
            << " holds keys the code never looks up: " << extra.join(' ').toStdString();
        EXPECT_EQ(held.size(), heldSet.size()) << pack.toStdString() << " holds a key twice";
    }
}

TEST(ShippedPacks, EnglishPackShowsTheTextsOfTheCode)
{
    // Where the desktop's wording differs from the text at the place of use.
    const QMap<QString, QString> reworded {{"10013", "Start Korvane when I log in"}};
    const InstalledPack english("English.ini");
    for (auto it = codeKeys().cbegin(); it != codeKeys().cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        const QString shown = english.text(it.key());
        if (reworded.contains(it.key())) {
            EXPECT_EQ(shown, reworded.value(it.key()));
        } else if (it.value() != QStringList {QString()}) {
            EXPECT_TRUE(it.value().contains(shown)) << shown.toStdString();
        } else {
            EXPECT_FALSE(shown.isEmpty() || shown == "??ERROR??");
        }
    }
}

TEST(ShippedPacks, ArabicPackIsTranslatedAndKeepsWhatTheCodeReliesOn)
{
    const InstalledPack english("English.ini");
    const InstalledPack arabic("Arabic.ini");
    EXPECT_EQ(arabic.text("10001"), QStringLiteral("&موافق"));
    EXPECT_EQ(arabic.text("70043"), QStringLiteral("محذوفة"));

    static const QRegularExpression latinWord(QStringLiteral("[A-Za-z]{2,}"));
    static const QRegularExpression arabicLetter(QStringLiteral("[\u0621-\u064A]"));
    for (const QString &key : codeKeys().keys()) {
        SCOPED_TRACE(key.toStdString());
        const QString en = english.text(key);
        const QString ar = arabic.text(key);
        EXPECT_FALSE(ar.contains(QChar::ReplacementCharacter)) << "not UTF-8";
        if (QString(en).remove(QStringLiteral("Korvane")).contains(latinWord)) {
            EXPECT_TRUE(ar.contains(arabicLetter)) << ar.toStdString();
        }
        // Messages are built from pieces, so the blanks at the ends join them.
        EXPECT_EQ(edgeBlanks(ar), edgeBlanks(en)) << ar.toStdString();
        EXPECT_EQ(placeholders(ar), placeholders(en)) << ar.toStdString();
        EXPECT_EQ(ar.count(u'&'), en.count(u'&')) << ar.toStdString();
    }
}
