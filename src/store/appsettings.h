#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Every setting of the program. While Korvane runs the settings window keeps this object
// current, and the engine and the rules read the live values from it.
struct AppSettings
{
    bool StartWithWindows = true;
    bool NotifyAfterDel = true;
    bool AskBeforeDel = true;
    bool PlaySound = true;
    QString SoundPath;
    bool WriteLog = true;
    bool DeleteLog = false;
    int LogSize = 200; // KB
    bool DelOld = true;
    int Days = 30;
    int ChekPeriod = 10; // minutes
    int ConnectionTimeOut = 60; // seconds
    bool NotifyNew = true;
    int SecurityLevel = 3; // 1 Very High .. 5 Very Low
    bool Enabled = true;
    QString Language; // the stored language file name; empty until chosen

    // Filters of the history window, remembered between runs.
    bool FromOption = true;
    bool TodayOption = false;
    QString FromDate; // empty: today
    QString ToDate; // empty: today
    int MessagesIndex = 0;
    int AccountIndex = 0;
    int SenderIndex = 0;

    // Not stored: these start from the same values at every start.
    int SpamThreshold = 200;
    int MaxSizeKB = 500;
    bool CheckLargerThan = false;
    bool DeleteRepeated = true;
    float EffectiveThreshold = 200.0f;

    // "Settings.ini": the watched attachment extensions, without dots, as typed.
    QList<QByteArray> WatchedExtensions {"EXE", "SRC", "COM", "BMP", "JPG"};
};
