#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The active language pack and the lookup of every shown text by its numeric key.
// A pack is an INI file "Lang/<LanguageFile>" with one section [Korvane], in the data folder
// or, for the packs shipped with an installed program, in its shared folder; a pack in the
// data folder hides a shipped one of the same name.
class Language
{
public:
    explicit Language(const QString &dataDir, const QString &sharedDir = {});

    // The pack's text for the key, cut to 499 characters, or defaultText when the pack,
    // its section or the key is missing.
    QString SetCaptionfromINI(const QString &key, const QString &defaultText) const;

    // "English.ini" for an empty name; ".ini" appended when the name lacks "ini".
    static QString normalizedFileName(const QString &name);

    bool isRightToLeft() const;
    // The data folder's "Lang" folder, where a user's own packs go.
    QString langFolder() const;
    // The file of the named pack: the data folder's when it has one, else the shipped one,
    // else the data folder's name for it (which then does not exist).
    QString packPath(const QString &fileName) const;
    // Every file of the pack folders, each name once (the data folder's first), in name
    // order. Nothing when a pack folder that exists cannot be read.
    std::optional<QStringList> packFiles() const;

    QString LanguageFile;
    // Set when the packs could not be listed: windows then keep their built-in texts.
    bool LanguageFailed = false;

private:
    QStringList packFolders() const;

    QString m_dataDir;
    QString m_sharedDir;
};
