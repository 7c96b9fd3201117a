#pragma once

#include <QIcon>

// The pictures of the history viewer's toolbar, drawn here for Korvane.
enum class ToolPicture : quint8 {
    Save,
    AccountEditor,
    ViewLog,
    ViewMessage,
    SpamWords,
    FriendList,
    BlockedList,
    Settings,
    Delete,
    Refresh,
    Help,
};

QIcon toolbarPicture(ToolPicture picture);
