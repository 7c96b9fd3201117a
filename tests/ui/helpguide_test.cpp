#include "support/servicesbed.h"
#include "ui/viewer/helpguide.h"

#include <QDir>
#include <QUrl>

#include <gtest/gtest.h>

TEST(HelpGuide, OpensTheGuideInTheBrowserOrSaysWhyNot)
{
    // Guides are looked for in the data folder "data" and in the shared folder "share" of an
    // installed program.
    const struct
    {
        const char *name;
        QStringList guides;
        bool browserOpensIt;
        QString opened;
        QString warning;
    } cases[] = {
        {"in the data folder", {"data"}, true, "data", {}},
        {"shipped", {"share"}, true, "share", {}},
        {"own before shipped", {"share", "data"}, true, "data", {}},
        {"missing", {}, true, {}, "The user guide %1 cannot be found."},
        {"no browser",
         {"share"},
         false,
         "share",
         "The user guide %1 could not be opened: no program on this computer opens HTML "
         "files."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ServicesBed bed;
        for (const QString &folder : c.guides)
            bed.dir.write(folder + "/Korvane.html", "<html><title>Korvane</title>");
        QList<QUrl> opened;
        ShowHelp(bed.services, bed.dir.file("data"), bed.dir.file("share"), [&](const QUrl &url) {
            opened << url;
            return c.browserOpensIt;
        });
        const QString guide
            = bed.dir.file((c.opened.isEmpty() ? "data" : c.opened) + "/Korvane.html");
        EXPECT_EQ(opened, c.opened.isEmpty() ? QList<QUrl> {} : QList {QUrl::fromLocalFile(guide)});
        EXPECT_EQ(bed.prompter.warnings,
                  c.warning.isEmpty()
                      ? QStringList {}
                      : QStringList {c.warning.arg(QDir::toNativeSeparators(guide))});
    }
}
