#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

class Clock;
struct AppSettings;

// "Spam.log": a plain-text log that is only ever appended to. Each entry is the date, a
// blank, the time to the second, seven blanks and the message.
class ActionLog
{
public:
    ActionLog(const QString &dataDir, const AppSettings &settings, const Clock &clock);

    // The five lines a new log starts with, CR LF after each.
    static QByteArray header();
    QString path() const;

    // Appends one entry while writing the log is switched on; does nothing otherwise.
    // Returns false when the entry could not be written.
    bool Log(const QString &text);

    // The start-up check: deletes the log when it is strictly larger than the limit in KB
    // and deleting is switched on. True when the file was deleted.
    bool deleteIfOversized();

    // Opens the log for appending; it stays open for the rest of the run.
    bool open();
    void close();

private:
    QString m_path;
    const AppSettings &m_settings;
    const Clock &m_clock;
    QFile m_file;
};
