#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QSettings;

// The keyed string store of the settings: one QSettings file holding named string values.
// Every value is written and read as a string.
class CRegister
{
public:
    // The store of a real run: $XDG_CONFIG_HOME/Tessaly/Korvane 3.2.conf.
    static QString defaultPath();

    explicit CRegister(const QString &path = defaultPath());
    ~CRegister();
    CRegister(const CRegister &) = delete;
    CRegister &operator=(const CRegister &) = delete;

    // The value, or defaultValue when it is missing or empty.
    QString REGGetSetting(const QString &valueName, const QString &defaultValue) const;
    bool REGSaveSetting(const QString &valueName, const QString &value);
    // With an empty value name the whole store is cleared.
    bool REGDeleteSetting(const QString &valueName);
    QStringList GetAllKeys() const;

    QString path() const;

private:
    std::unique_ptr<QSettings> m_settings;
};
