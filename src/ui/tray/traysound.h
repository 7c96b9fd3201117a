#pragma once

#include <QObject>
#include <QSet>
#include <QSoundEffect>
#include <QString>

#include <functional>

class QIODevice;
struct Services;

// What plays a sound file: one QSoundEffect in the program, a fake in tests.
class SoundOutput
{
public:
    virtual ~SoundOutput() = default;
    // Starts playing the file and returns at once; the sound goes on by itself.
    virtual void play(const QString &path) = 0;
    // Set by TraySound; the output calls it, at once or later, for a file it was given that
    // cannot be played.
    std::function<void(const QString &path)> onUnplayable;
};

// Plays through one QSoundEffect, which keeps the last file loaded, so a popup that plays
// the same file again starts at once. A new file is loaded first and played when ready.
class SoundEffectOutput final : public QObject, public SoundOutput
{
    Q_OBJECT

public:
    explicit SoundEffectOutput(QObject *parent = nullptr);
    void play(const QString &path) override;

private:
    void load(const QString &path);
    void onStatusChanged();
    void startOrReport();
    void reportUnplayable();

    QSoundEffect m_effect;
    QString m_path;
    bool m_isPlayWanted = false;
};

// True when the device holds a RIFF "WAVE" file whose format chunk comes before a data
// chunk that ends inside the file. A file that ends early is refused here: QSoundEffect
// would wait for its missing bytes forever and hang the next change of its source.
bool isCompleteWave(QIODevice &device);

// The popup's sound: each popup, as it loads, plays the chosen file when playing is on and
// the file exists. A file that cannot be played is written to the log once in the run.
class TraySound
{
public:
    TraySound(SoundOutput &output, Services &services);
    ~TraySound();
    TraySound(const TraySound &) = delete;
    TraySound &operator=(const TraySound &) = delete;

    // Called once per popup as it loads; never waits for the sound.
    void play(bool chkPlay, const QString &txtSoundFile);

private:
    void reportUnplayable(const QString &path);

    SoundOutput &m_output;
    Services &m_services;
    QSet<QString> m_reportedPaths;
};
