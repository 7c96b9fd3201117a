#include "support/logentries.h"
#include "support/servicesbed.h"
#include "ui/tray/traysound.h"

#include <QBuffer>
#include <QSet>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

// Records what it is asked to play and calls back for the files it is told are broken.
class FakeSoundOutput final : public SoundOutput
{
public:
    void play(const QString &path) override
    {
        played << path;
        if (brokenPaths.contains(path))
            onUnplayable(path);
    }
    QStringList played;
    QSet<QString> brokenPaths;
};

QByteArray littleEndian(quint32 value, int size)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes.left(size);
}

QByteArray chunk(const char *id, const QByteArray &content)
{
    QByteArray bytes = QByteArray(id, 4) + littleEndian(content.size(), 4) + content;
    return content.size() % 2 ? bytes + '\0' : bytes;
}

QByteArray riffWave(const QByteArray &chunks)
{
    return "RIFF" + littleEndian(4 + chunks.size(), 4) + "WAVE" + chunks;
}

// 8 kHz mono 16-bit; format tag 1 is plain PCM.
QByteArray formatChunk(quint16 formatTag = 1)
{
    return chunk("fmt ",
                 littleEndian(formatTag, 2) + littleEndian(1, 2) + littleEndian(8000, 4)
                     + littleEndian(16000, 4) + littleEndian(2, 2) + littleEndian(16, 2));
}

const QByteArray samples(800, '\0');
const QByteArray wholeWave = riffWave(formatChunk() + chunk("data", samples));

const QString unplayableText = QStringLiteral("The sound file cannot be played: ");

} // namespace

TEST(TraySound, PlaysTheChosenFileOnlyWhenSwitchedOnAndTheFileExists)
{
    enum class Path { Empty, Missing, Folder, Existing };
    const struct
    {
        const char *name;
        bool chkPlay;
        Path path;
        bool isPlayed;
    } cases[] = {
        {"on, no file chosen", true, Path::Empty, false},
        {"on, file missing", true, Path::Missing, false},
        {"on, a folder", true, Path::Folder, false},
        {"on, file exists", true, Path::Existing, true},
        {"off, file missing", false, Path::Missing, false},
        {"off, file exists", false, Path::Existing, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ServicesBed bed;
        bed.dir.write("ding.wav", wholeWave);
        const QString path = c.path == Path::Empty ? QString()
            : c.path == Path::Missing              ? bed.dir.file("gone.wav")
            : c.path == Path::Folder               ? bed.dir.path()
                                                   : bed.dir.file("ding.wav");
        FakeSoundOutput output;
        TraySound sound(output, bed.services);
        sound.play(c.chkPlay, path);
        EXPECT_EQ(output.played, c.isPlayed ? QStringList {path} : QStringList {});
        EXPECT_EQ(logEntries(bed.log.path()), QStringList {});
        EXPECT_EQ(bed.prompter.warnings + bed.prompter.criticals, QStringList {});
    }
}

TEST(TraySound, ReportsEachUnplayableFileOnceInTheRun)
{
    ServicesBed bed;
    const QString broken = bed.dir.file("broken.wav");
    const QString other = bed.dir.file("other.wav");
    bed.dir.write("broken.wav", "not a sound");
    bed.dir.write("other.wav", "not a sound either");
    FakeSoundOutput output;
    output.brokenPaths = {broken, other};
    TraySound sound(output, bed.services);

    for (const QString &path : {broken, broken, other, broken, other})
        sound.play(true, path);

    // Every popup still tries: the file may have been repaired meanwhile.
    EXPECT_EQ(output.played, (QStringList {broken, broken, other, broken, other}));
    EXPECT_EQ(logEntries(bed.log.path()),
              (QStringList {unplayableText + broken, unplayableText + other}));
}

TEST(TraySound, IsCompleteWaveRefusesFilesThatEndEarly)
{
    const QByteArray listChunk = chunk("LIST", "INFOabc"); // odd size: one pad byte
    const QByteArray dataHead = "data" + littleEndian(samples.size(), 4);
    const struct
    {
        const char *name;
        QByteArray bytes;
        bool isComplete;
    } cases[] = {
        {"whole", wholeWave, true},
        {"other chunks around",
         riffWave(formatChunk() + listChunk + chunk("data", samples) + listChunk), true},
        {"no samples", riffWave(formatChunk() + chunk("data", {})), true},
        {"empty file", {}, false},
        {"text", "this is not a sound file at all", false},
        {"RIFF but not WAVE", "RIFF" + littleEndian(4, 4) + "AVI " + formatChunk(), false},
        {"ends in the header", wholeWave.left(30), false},
        {"ends after the data header", riffWave(formatChunk() + dataHead), false},
        {"ends inside the samples", wholeWave.left(wholeWave.size() - 1), false},
        {"no format before the data", riffWave(chunk("data", samples) + formatChunk()), false},
        {"no data chunk", riffWave(formatChunk() + listChunk), false},
        {"pad byte missing before the data",
         riffWave(formatChunk() + listChunk.chopped(1) + chunk("data", samples)), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QBuffer buffer;
        buffer.setData(c.bytes);
        ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
        EXPECT_EQ(isCompleteWave(buffer), c.isComplete);
    }
}

// QSoundEffect itself: whatever refuses the file (the check above or the decoder), one log
// line comes for three popups, and nothing hangs.
TEST(SoundEffectOutput, ReportsAFileItCannotPlayOnce)
{
    const struct
    {
        const char *name;
        QByteArray bytes;
    } cases[] = {
        {"text", "this is not a sound file at all\n"},
        {"ends inside the samples", wholeWave.left(100)},
        {"a format without a decoder", riffWave(formatChunk(85) + chunk("data", samples))},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ServicesBed bed;
        bed.dir.write("bad.wav", c.bytes);
        const QString path = bed.dir.file("bad.wav");
        SoundEffectOutput output;
        TraySound sound(output, bed.services);
        for (int popup = 0; popup < 3; ++popup)
            sound.play(true, path);
        const QStringList expected {unplayableText + path};
        ASSERT_TRUE(QTest::qWaitFor([&] { return !logEntries(bed.log.path()).isEmpty(); }, 30000));
        sound.play(true, path);
        QCoreApplication::processEvents();
        EXPECT_EQ(logEntries(bed.log.path()), expected);
    }
}
