#pragma once

#include <QString>

class Clock;
class CRegister;
struct AppSettings;
struct Services;

// The settings kept in the settings store: loaded with their defaults, saved back, and the
// start-with-system entry kept in step with "StartWithWindows".
class SettingsStore
{
public:
    SettingsStore(CRegister &store, Services &services, const Clock &clock,
                  const QString &programPath, const QString &autostartEntry);

    // Reads every stored value with its default. A stored number that is not a whole
    // number in its range is replaced by the default, and the log says so.
    void LoadSettings(AppSettings &settings);
    // Writes every value back; the caller has put the running state of the check timer
    // into settings.Enabled and the active pack into settings.Language.
    void SaveSettings(const AppSettings &settings);

private:
    bool readBool(const QString &name, bool defaultValue) const;
    int readNumber(const QString &name, int defaultValue, int minimum, int maximum);
    void writeBool(const QString &name, bool value);

    CRegister &m_store;
    Services &m_services;
    const Clock &m_clock;
    QString m_programPath;
    QString m_autostartEntry;
};
