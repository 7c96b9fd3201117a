#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// XDG_RUNTIME_DIR for one test, restored after: a fresh folder of the user's, or the given
// path (unset when it is empty).
class RuntimeFolder
{
public:
    RuntimeFolder() { qputenv("XDG_RUNTIME_DIR", m_dir.path().toLocal8Bit()); }
    explicit RuntimeFolder(const QString &path)
    {
        if (path.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", path.toLocal8Bit());
    }
    ~RuntimeFolder()
    {
        if (m_wasSet)
            qputenv("XDG_RUNTIME_DIR", m_saved);
        else
            qunsetenv("XDG_RUNTIME_DIR");
    }
    RuntimeFolder(const RuntimeFolder &) = delete;
    RuntimeFolder &operator=(const RuntimeFolder &) = delete;

    QString path() const { return m_dir.path(); }

private:
    QByteArray m_saved = qgetenv("XDG_RUNTIME_DIR");
    bool m_wasSet = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    QTemporaryDir m_dir;
};
