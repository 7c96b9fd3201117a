#include "datafiles.h"

#include "actionlog.h"
#include "platform/datadir.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>

namespace {

bool createWith(const QString &path, const QByteArray &content)
{
    return QFile::exists(path) || TextFile::writeAll(path, content);
}

} // namespace

QStringList CreateFiles(const QString &dataDir)
{
    QStringList failed;
    const auto make = [&](const QString &literal, const QByteArray &content) {
        const QString path = dataPath(dataDir, literal);
        if (!createWith(path, content))
            failed << path;
    };

    const QString mails = dataPath(dataDir, QStringLiteral("\\Mails"));
    if (!QDir().mkpath(mails))
        failed << mails;
    make(QStringLiteral("\\Accounts.ini"), {});
    make(QStringLiteral("\\Spam.log"), ActionLog::header());
    make(QStringLiteral("\\BadWords.ini"), {});
    make(QStringLiteral("\\BlockedList.ini"), {});
    make(QStringLiteral("\\FriendList.ini"), {});
    make(QStringLiteral("\\History.ini"), {});
    make(QStringLiteral("\\Settings.ini"), "EXE;SRC;COM;BMP;JPG;\r\n");
    return failed;
}
