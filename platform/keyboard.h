// Keyboard layout: which layout is active and switching between the two the
// login dialog knows. Layouts are named by their Windows identifiers
// ("00000409" US English, "00000419" Russian). On X11 the active XKB group is
// read and locked; where nothing can be told the answers are empty and the
// switch does nothing.
#pragma once
#include <string>

namespace plat {

// Gives the keyboard functions an X display to work with: an Xlib Display*
// borrowed from the GUI toolkit, or nullptr to open one of our own from
// $DISPLAY. Without a call every function answers empty. False when no display
// could be had.
bool KeyboardAttach(void* display);
// Forgets the display (closing it when it was our own).
void KeyboardDetach();

// Identifier of the active layout, "" when it is neither of the two or unknown.
std::string ActiveKeyboardLayout();
// Makes the layout with that identifier active when the keyboard has it.
bool ActivateKeyboardLayout(const std::string& id);

// The identifier for an XKB layout name ("us", "ru", "us(intl)"), "" for others.
std::string LayoutIdFromXkbName(const std::string& xkb_layout);
// The XKB layout of group `group` in a rules layout list such as "us,ru".
std::string XkbLayoutOfGroup(const std::string& layout_list, int group);

}  // namespace plat
