// The application object: start-up and shut-down, application-level help and message boxes.
#pragma once

#include <string>

#include "platform/Types.h"

namespace orvane {

class CWnd;

class COrvaneApp {
public:
    // Records itself as the program's application object.
    COrvaneApp();
    ~COrvaneApp();
    COrvaneApp(const COrvaneApp&) = delete;
    COrvaneApp& operator=(const COrvaneApp&) = delete;

    // Registers the settings key, runs the main window modally and destroys it. Always false: no
    // message loop follows it.
    bool InitInstance();

    // Application-level commands that reach the application object; true when handled.
    bool OnCmdMsg(int id);
    // ID_HELP: the help file's contents and index.
    void OnHelp();
    // The application-level help request, made on behalf of the main window while it exists.
    void WinHelp(DWORD data, UINT command);

    // The program's one message-box helper; the caption is always the application name. A `type`
    // without an icon gets the exclamation icon for OK, OK/Cancel, Yes/No and Yes/No/Cancel boxes.
    int ShowMessageBox(const std::string& text, UINT type, UINT helpId);

    // The main window while it runs; not owned.
    CWnd* m_pMainWnd = nullptr;
    // The help context of a message box while it is up (0x30000 + its help id), else 0.
    DWORD m_dwPromptContext = 0;
};

// The program's application object.
COrvaneApp& App();

// The program's start-up and shut-down, called by the platform's entry point. Returns the exit status.
int RunApplication();

}  // namespace orvane
