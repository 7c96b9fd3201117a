#include "settingsstore.h"

#include "actionlog.h"
#include "appsettings.h"
#include "numbers.h"
#include "platform/autostart.h"
#include "platform/clock.h"
#include "platform/cregister.h"
#include "services.h"

namespace {

const QString dateFormat = QStringLiteral("yyyy-MM-dd");

QString boolText(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

SettingsStore::SettingsStore(CRegister &store, Services &services, const Clock &clock,
                             const QString &programPath, const QString &autostartEntry)
    : m_store(store)
    , m_services(services)
    , m_clock(clock)
    , m_programPath(programPath)
    , m_autostartEntry(autostartEntry)
{
}

bool SettingsStore::readBool(const QString &name, bool defaultValue) const
{
    // "0" and "False" are off; "True" and every other number are on.
    const QString text = m_store.REGGetSetting(name, boolText(defaultValue)).trimmed();
    if (text.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        return false;
    if (text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        return true;
    bool isNumber = false;
    const double number = text.toDouble(&isNumber);
    return isNumber ? number != 0 : defaultValue;
}

int SettingsStore::readNumber(const QString &name, int defaultValue, int minimum, int maximum)
{
    const QString text = m_store.REGGetSetting(name, QString::number(defaultValue));
    if (const auto number = toWholeNumber(text.toUtf8(), minimum, maximum))
        return *number;
    m_services.log.Log(m_services
                           .caption(QStringLiteral("280002"),
                                    QStringLiteral("The stored setting %1 (\"%2\") is not a whole "
                                                   "number from %3 to %4; %5 is used instead."))
                           .arg(name, text)
                           .arg(minimum)
                           .arg(maximum)
                           .arg(defaultValue));
    return defaultValue;
}

void SettingsStore::writeBool(const QString &name, bool value)
{
    m_store.REGSaveSetting(name, boolText(value));
}

void SettingsStore::LoadSettings(AppSettings &s)
{
    const AppSettings defaults;
    const QString today = m_clock.now().date().toString(dateFormat);
    s.StartWithWindows = readBool(QStringLiteral("StartWithWindows"), defaults.StartWithWindows);
    s.NotifyAfterDel = readBool(QStringLiteral("NotifyAfterDel"), defaults.NotifyAfterDel);
    s.AskBeforeDel = readBool(QStringLiteral("AskBeforeDel"), defaults.AskBeforeDel);
    s.PlaySound = readBool(QStringLiteral("PlaySound"), defaults.PlaySound);
    s.WriteLog = readBool(QStringLiteral("WriteLog"), defaults.WriteLog);
    s.DeleteLog = readBool(QStringLiteral("DeleteLog"), defaults.DeleteLog);
    s.LogSize = readNumber(QStringLiteral("LogSize"), defaults.LogSize, 0, 32767);
    s.SoundPath = m_store.REGGetSetting(QStringLiteral("SoundPath"), defaults.SoundPath);
    s.DelOld = readBool(QStringLiteral("DelOld"), defaults.DelOld);
    s.Days = readNumber(QStringLiteral("Days"), defaults.Days, 0, 32767);
    s.ChekPeriod = readNumber(QStringLiteral("ChekPeriod"), defaults.ChekPeriod, 0, 32767);
    s.ConnectionTimeOut
        = readNumber(QStringLiteral("ConnectionTimeOut"), defaults.ConnectionTimeOut, 0, 32767);
    s.NotifyNew = readBool(QStringLiteral("NotifyNew"), defaults.NotifyNew);
    s.SecurityLevel = readNumber(QStringLiteral("SecurityLevel"), defaults.SecurityLevel, 1, 5);
    s.FromOption = readBool(QStringLiteral("FromOption"), defaults.FromOption);
    s.TodayOption = readBool(QStringLiteral("TodayOption"), defaults.TodayOption);
    s.FromDate = m_store.REGGetSetting(QStringLiteral("FromDate"), today);
    s.ToDate = m_store.REGGetSetting(QStringLiteral("ToDate"), today);
    s.MessagesIndex
        = readNumber(QStringLiteral("MessagesIndex"), defaults.MessagesIndex, -1, 32767);
    s.AccountIndex = readNumber(QStringLiteral("AccountIndex"), defaults.AccountIndex, -1, 32767);
    s.SenderIndex = readNumber(QStringLiteral("SenderIndex"), defaults.SenderIndex, -1, 32767);
    s.Enabled = readBool(QStringLiteral("Enabled"), defaults.Enabled);
    s.Language = m_store.REGGetSetting(QStringLiteral("Language"), QString());
}

void SettingsStore::SaveSettings(const AppSettings &s)
{
    writeBool(QStringLiteral("StartWithWindows"), s.StartWithWindows);
    // The entry follows the setting as well as it can; the setting itself is stored either
    // way and the next save tries again.
    if (s.StartWithWindows)
        (void)Autostart::write(m_programPath, m_autostartEntry);
    else
        (void)Autostart::remove(m_autostartEntry);
    writeBool(QStringLiteral("NotifyAfterDel"), s.NotifyAfterDel);
    writeBool(QStringLiteral("AskBeforeDel"), s.AskBeforeDel);
    writeBool(QStringLiteral("PlaySound"), s.PlaySound);
    m_store.REGSaveSetting(QStringLiteral("SoundPath"), s.SoundPath);
    writeBool(QStringLiteral("DelOld"), s.DelOld);
    m_store.REGSaveSetting(QStringLiteral("Days"), QString::number(s.Days));
    m_store.REGSaveSetting(QStringLiteral("ChekPeriod"), QString::number(s.ChekPeriod));
    m_store.REGSaveSetting(QStringLiteral("ConnectionTimeOut"),
                           QString::number(s.ConnectionTimeOut));
    writeBool(QStringLiteral("NotifyNew"), s.NotifyNew);
    m_store.REGSaveSetting(QStringLiteral("SecurityLevel"), QString::number(s.SecurityLevel));
    writeBool(QStringLiteral("WriteLog"), s.WriteLog);
    writeBool(QStringLiteral("DeleteLog"), s.DeleteLog);
    m_store.REGSaveSetting(QStringLiteral("LogSize"), QString::number(s.LogSize));
    m_store.REGSaveSetting(QStringLiteral("Enabled"),
                           s.Enabled ? QStringLiteral("True") : QStringLiteral("False"));
    m_store.REGSaveSetting(QStringLiteral("Language"), s.Language);
}
