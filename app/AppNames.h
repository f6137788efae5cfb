// The names the program derives from its executable's path: the application name and the help file.
#pragma once

#include <string>

namespace orvane {

struct AppNames {
    std::string executableTitle;  // file name without directory and extension
    std::string applicationName;  // the title string of the program when it has one, else executableTitle
    std::string helpFilePath;     // the executable's path with ".HLP" in place of its extension
};

// Derives the names from the executable's full path. Only an extension of the file name itself is
// cut ("/opt/tools.2/orvane" gives the title "orvane" and the help file "/opt/tools.2/orvane.HLP").
// `applicationTitle` is the program's title string, when the string table has one.
AppNames DeriveAppNames(const std::string& modulePath, const std::string* applicationTitle = nullptr);

// The names of this process, derived once at start-up (SetAppNames) and read by everyone after.
const AppNames& CurrentAppNames();
void SetAppNames(AppNames names);

// The caption of every message box, the agent of the internet session and the settings key.
inline const std::string& ApplicationName() { return CurrentAppNames().applicationName; }

}  // namespace orvane
