// The shell's figure controls: the Settings window's view section, the keys
// for the common views, and Save Image's questions (size, transparency).
#ifndef TESK_UI_VIEW_PANEL_H
#define TESK_UI_VIEW_PANEL_H

class CShellState;
class CDisplay;

// Perspective or orthographic, views along a, b, c, a*, b*, c* and a typed
// [u v w], Reset view, depth cueing. Inside the Settings window.
void ViewControls(CShellState& s, CDisplay& display);
// 1, 2, 3 look along a, b, c; 0 resets the view. The caller makes sure no
// text field or popup has the keyboard.
void ViewKeys(CShellState& s, CDisplay& display);
// Opens (with `open`) and shows Save Image's first question: the image size
// and a transparent background. True in the pass the user goes on to choose
// the file.
bool ImageOptionsPopup(CShellState& s, bool open);

#endif
