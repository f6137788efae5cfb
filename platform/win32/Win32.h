// The Windows headers for the Windows layer, without the macros that would rename our own methods.
//
// Include every orvane header first: <windows.h> defines IDOK, WM_PAINT, ERROR_SUCCESS and the rest
// as macros with the values that platform/Types.h gives them, and a header parsed after it would see
// its constant names replaced. Inside namespace orvane the plain names HWND, DWORD, SYSTEMTIME, RECT
// and HKEY are ours; the Windows types are written ::HWND, ::DWORD and so on. ::DWORD is unsigned
// long and ::LONG long, so they differ from our DWORD and LONG as types though not as values.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef STRICT
#define STRICT
#endif

#include <windows.h>
#include <commctrl.h>
#include <oleauto.h>
#include <wininet.h>

// The A/W switches that share a name with a method of our platform interfaces. The code here calls
// the ANSI functions by their full names (LoadStringA, MessageBoxA, ...).
#undef CreateDialog
#undef DrawText
#undef GetClassName
#undef GetObject
#undef GetWindowText
#undef InternetOpen
#undef InternetOpenUrl
#undef LoadIcon
#undef LoadString
#undef MessageBox
#undef RegCreateKeyEx
#undef RegOpenKeyEx
#undef RegQueryValueEx
#undef RegSetValueEx
#undef SendMessage
#undef SetWindowText
#undef WinHelp
