#pragma once

#include <QString>

// The windows that start-up and shutdown drive. The real ones live in ui/; tests record.
class StartupWindows
{
public:
    virtual ~StartupWindows() = default;
    // Loads the history viewer hidden; it knows the active language from then on.
    virtual void loadViewer() = 0;
    // Applies the layout direction and the captions of the settings window.
    virtual void applyMainCaptions() = 0;
    // Fills the viewer's filter lists and shows it.
    virtual void showViewer() = 0;
    // Shows the account editor modally, owned by the viewer.
    virtual void showAccountEditorModal() = 0;
    virtual void showMainWindow() = 0;
    // Puts the caption of the tray menu's Disable/Enable item.
    virtual void setDisableEnableCaption(const QString &caption) = 0;
};
