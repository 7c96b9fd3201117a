#pragma once

#include <QFile>
#include <QString>

#include <sys/stat.h>

// The umask most systems give, under which a file made without care is readable by every
// local user; the core must not lean on the program's own umask.
class PermissiveUmask
{
public:
    PermissiveUmask()
        : m_saved(::umask(022))
    {
    }
    ~PermissiveUmask() { ::umask(m_saved); }
    PermissiveUmask(const PermissiveUmask &) = delete;
    PermissiveUmask &operator=(const PermissiveUmask &) = delete;

private:
    mode_t m_saved;
};

// The permission bits, or -1 when there is nothing at the path; a link is not followed.
inline int modeOf(const QString &path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777)
                                                                      : -1;
}

inline void setMode(const QString &path, int mode)
{
    ::chmod(QFile::encodeName(path).constData(), mode_t(mode));
}
