#include "traysound.h"

#include "store/actionlog.h"
#include "store/services.h"

#include <QAudioDevice>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QMediaDevices>
#include <QUrl>
#include <QtEndian>

namespace {

// A sound file has a handful of chunks before its samples; a file with thousands is not
// one we want to walk on the popup's thread.
constexpr int maxChunksBeforeData = 64;

} // namespace

bool isCompleteWave(QIODevice &device)
{
    // RIFF header: "RIFF" (little-endian sizes) or "RIFX" (big-endian), a size, "WAVE".
    // Then chunks of a four-letter id, a 32-bit size and the content padded to even length.
    const QByteArray head = device.read(12);
    if (head.size() != 12 || head.mid(8, 4) != "WAVE")
        return false;
    const bool isBigEndian = head.startsWith("RIFX");
    if (!isBigEndian && !head.startsWith("RIFF"))
        return false;
    const qint64 fileSize = device.size();
    qint64 chunkStart = 12;
    bool hasFormat = false;
    for (int i = 0; i < maxChunksBeforeData; ++i) {
        if (chunkStart > fileSize - 8 || !device.seek(chunkStart))
            return false;
        const QByteArray chunk = device.read(8);
        if (chunk.size() != 8)
            return false;
        const qint64 size = isBigEndian ? qFromBigEndian<quint32>(chunk.constData() + 4)
                                        : qFromLittleEndian<quint32>(chunk.constData() + 4);
        const qint64 contentStart = chunkStart + 8;
        if (chunk.startsWith("data"))
            return hasFormat && size <= fileSize - contentStart;
        hasFormat = hasFormat || chunk.startsWith("fmt ");
        chunkStart = contentStart + size + (size & 1);
    }
    return false;
}

SoundEffectOutput::SoundEffectOutput(QObject *parent)
    : QObject(parent)
{
    connect(&m_effect, &QSoundEffect::statusChanged, this, &SoundEffectOutput::onStatusChanged);
}

void SoundEffectOutput::play(const QString &path)
{
    // A file that failed, here (no source then) or in QSoundEffect, is loaded afresh each
    // time, so one that was repaired plays again.
    const QSoundEffect::Status status = m_effect.status();
    if (path != m_path || status == QSoundEffect::Null || status == QSoundEffect::Error)
        load(path);
    else if (status == QSoundEffect::Ready)
        startOrReport();
    else
        m_isPlayWanted = true; // still loading: played when ready
}

void SoundEffectOutput::load(const QString &path)
{
    m_path = path;
    m_isPlayWanted = false;
    // Cleared first: QSoundEffect ignores a source equal to its current one, and a file
    // that failed must be read again.
    m_effect.setSource(QUrl());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !isCompleteWave(file)) {
        reportUnplayable();
        return;
    }
    m_isPlayWanted = true;
    m_effect.setSource(QUrl::fromLocalFile(path));
    // QSoundEffect shares loaded files between its instances: one already in memory is
    // Ready at once and gives no further status change.
    if (m_effect.status() == QSoundEffect::Ready)
        onStatusChanged();
}

void SoundEffectOutput::onStatusChanged()
{
    switch (m_effect.status()) {
    case QSoundEffect::Null:
    case QSoundEffect::Loading:
        return;
    case QSoundEffect::Ready:
        if (m_isPlayWanted)
            startOrReport();
        break;
    case QSoundEffect::Error:
        if (m_isPlayWanted)
            reportUnplayable();
        break;
    }
    m_isPlayWanted = false;
}

void SoundEffectOutput::startOrReport()
{
    m_isPlayWanted = false;
    // Without an output device QSoundEffect warns on every play and stays silent.
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        reportUnplayable();
        return;
    }
    m_effect.play();
}

void SoundEffectOutput::reportUnplayable()
{
    if (onUnplayable)
        onUnplayable(m_path);
}

TraySound::TraySound(SoundOutput &output, Services &services)
    : m_output(output)
    , m_services(services)
{
    m_output.onUnplayable = [this](const QString &path) {
        reportUnplayable(path);
    };
}

TraySound::~TraySound()
{
    m_output.onUnplayable = nullptr;
}

void TraySound::play(bool chkPlay, const QString &txtSoundFile)
{
    if (!chkPlay || txtSoundFile.isEmpty() || !QFileInfo(txtSoundFile).isFile())
        return;
    m_output.play(txtSoundFile);
}

void TraySound::reportUnplayable(const QString &path)
{
    // Once per file for the whole run: the same broken file would otherwise fill the log
    // with a line for every popup.
    if (m_reportedPaths.contains(path))
        return;
    m_reportedPaths.insert(path);
    m_services.log.Log(m_services.caption(QStringLiteral("280330"),
                                          QStringLiteral("The sound file cannot be played: "))
                       + path);
}
