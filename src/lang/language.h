#pragma once

#include <QString>

// The active language pack and the lookup of every shown text by its numeric key.
// A pack is an INI file "Lang/<LanguageFile>" in the data folder with one section [Korvane].
class Language
{
public:
    explicit Language(const QString &dataDir);

    // The pack's text for the key, cut to 499 characters, or defaultText when the pack,
    // its section or the key is missing.
    QString SetCaptionfromINI(const QString &key, const QString &defaultText) const;

    // "English.ini" for an empty name; ".ini" appended when the name lacks "ini".
    static QString normalizedFileName(const QString &name);

    bool isRightToLeft() const;
    QString langFolder() const;

    QString LanguageFile;
    // Set when the packs could not be listed: windows then keep their built-in texts.
    bool LanguageFailed = false;

private:
    QString m_dataDir;
};
