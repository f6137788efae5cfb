// What the Windows tests that drive real windows share: keys given as the user's, and window texts.
// Include it after every orvane header, as it brings in <windows.h>.
#pragma once

#include <string>

#include "platform/win32/Win32.h"

namespace orvane::test {

// Presses (down) or releases a key, as the keyboard would: the key goes to the focus of the
// foreground window's thread.
inline void SendKey(::WORD key, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    ::SendInput(1, &input, sizeof input);
}

inline std::string WindowText(::HWND window) {
    char text[512] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

}  // namespace orvane::test
