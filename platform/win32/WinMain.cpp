// The Windows program's entry point: the common controls, the platform's services, then the
// program's own start-up.
#include "app/Application.h"
#include "platform/win32/Services.h"

#include "platform/win32/Win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The manifest asks for version 6 of the common controls; they take effect once COMCTL32 is
    // loaded and its classes are registered, before the first dialog is made.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&controls);
    const orvane::CWin32Services services;
    return orvane::RunApplication();
}
