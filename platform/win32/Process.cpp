// Facts about the running process on Windows.
#include "platform/win32/Services.h"

#include "platform/win32/Win32.h"

namespace orvane {

std::string CWin32Process::ModuleFileName() {
    char path[MAX_PATH] = {};
    const ::DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    // A path cut at MAX_PATH still names the program's folder; the caller only splits it.
    return std::string(path, length);
}

void CWin32Process::SuppressSystemErrorBoxes() {
    // SetErrorMode both sets and returns the mode, so the old one is read by setting it.
    const UINT current = ::SetErrorMode(0);
    ::SetErrorMode(current | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

}  // namespace orvane
