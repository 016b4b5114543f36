#pragma once
// When a dialog closes, the focus goes back to the control that had it when
// the dialog opened, and the window is active again. A window manager does
// the activation on most desktops; without one (or when it hands the focus
// elsewhere) a keyboard user would be left with no focus at all, and a
// screen reader would hear nothing after the dialog.
//
// Once per program; more calls do nothing.
void InstallFocusReturn();
