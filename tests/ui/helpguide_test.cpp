#include "support/servicesbed.h"
#include "ui/viewer/helpguide.h"

#include <QDir>
#include <QUrl>

#include <gtest/gtest.h>

TEST(HelpGuide, OpensTheGuideInTheBrowserOrSaysWhyNot)
{
    const struct
    {
        const char *name;
        bool isInstalled;
        bool browserOpensIt;
        QString warning;
    } cases[] = {
        {"installed", true, true, {}},
        {"missing", false, true, "The user guide %1 cannot be found."},
        {"no browser", true, false,
         "The user guide %1 could not be opened: no program on this computer opens HTML "
         "files."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ServicesBed bed;
        const QString guide = bed.dir.file("Korvane.html");
        if (c.isInstalled)
            bed.dir.write("Korvane.html", "<html><title>Korvane</title>");
        QList<QUrl> opened;
        ShowHelp(bed.services, bed.dir.path(), [&](const QUrl &url) {
            opened << url;
            return c.browserOpensIt;
        });
        EXPECT_EQ(opened, c.isInstalled ? QList {QUrl::fromLocalFile(guide)} : QList<QUrl> {});
        EXPECT_EQ(bed.prompter.warnings,
                  c.warning.isEmpty()
                      ? QStringList {}
                      : QStringList {c.warning.arg(QDir::toNativeSeparators(guide))});
    }
}
