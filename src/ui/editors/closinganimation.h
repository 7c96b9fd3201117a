#pragma once

class QDialog;

// The short fade with which the editors' dialogs close after a successful Add or Edit.
namespace ClosingAnimation {

// Fades the dialog out, then ends it with `result`. The dialog takes no input meanwhile,
// so a second click cannot act twice. Without animations it ends at once.
void finish(QDialog &dialog, int result);

// Animations are on unless the program draws to no screen (the offscreen platform).
void setEnabled(bool enabled);
bool isEnabled();

} // namespace ClosingAnimation
