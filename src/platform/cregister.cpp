#include "cregister.h"

#include <QSettings>
#include <QStandardPaths>

QString CRegister::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Tessaly/Korvane 3.2.conf");
}

CRegister::CRegister(const QString &path)
    : m_settings(std::make_unique<QSettings>(path, QSettings::IniFormat))
{
}

CRegister::~CRegister() = default;

QString CRegister::REGGetSetting(const QString &valueName, const QString &defaultValue) const
{
    const QString value = m_settings->value(valueName).toString();
    return value.isEmpty() ? defaultValue : value;
}

bool CRegister::REGSaveSetting(const QString &valueName, const QString &value)
{
    m_settings->setValue(valueName, value);
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

bool CRegister::REGDeleteSetting(const QString &valueName)
{
    if (valueName.isEmpty())
        m_settings->clear();
    else
        m_settings->remove(valueName);
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

QStringList CRegister::GetAllKeys() const
{
    return m_settings->childGroups();
}

QString CRegister::path() const
{
    return m_settings->fileName();
}
