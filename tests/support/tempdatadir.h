#pragma once

#include "qtprinters.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh, empty data folder for one test, removed afterwards.
class TempDataDir
{
public:
    TempDataDir();
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    void write(const QString &name, const QByteArray &bytes) const;
    QByteArray read(const QString &name) const;

private:
    QTemporaryDir m_dir;
};
