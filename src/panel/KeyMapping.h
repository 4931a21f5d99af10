#pragma once

class QKeyEvent;

namespace zelvar {

// The Windows virtual-key code that the key press would carry on Windows, which is
// what shortcut codes in panel files mean; 0 when the key has no code.
//
// Letters, digits, function keys and named keys come from Qt's key, so letters follow
// the keyboard layout (the "A" key gives 0x41 on AZERTY too) whatever the shift state.
// Keypad keys are told apart by Qt::KeypadModifier. Keys of the main digit row are
// recognised by their position (native scan code = XKB keycode, as on X11 and Wayland)
// when Qt reports a symbol, so "&" on an AZERTY keyboard is still 0x31, as on Windows.
// Other punctuation gives the VK_OEM_* code of the US layout key carrying that symbol.
// Left and right modifier keys give the generic VK_SHIFT, VK_CONTROL and VK_MENU.
int virtualKeyFor(const QKeyEvent &event);

} // namespace zelvar
