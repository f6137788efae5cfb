// Derivation of the application name and the help file path from the executable's path.
#include "app/AppNames.h"

#include <utility>

namespace orvane {

AppNames DeriveAppNames(const std::string& modulePath, const std::string* applicationTitle) {
    // The file name starts after the last directory separator of either platform (or a drive colon).
    const std::size_t slash = modulePath.find_last_of("\\/:");
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // Only a full stop inside the file name starts an extension; one in a directory name does not,
    // and a Linux executable usually has none.
    const std::size_t dot = modulePath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot >= nameStart;
    const std::string stem = hasExtension ? modulePath.substr(0, dot) : modulePath;

    AppNames names;
    names.executableTitle = stem.substr(nameStart);
    names.applicationName = applicationTitle ? *applicationTitle : names.executableTitle;
    names.helpFilePath = stem + ".HLP";
    return names;
}

namespace {
AppNames& Storage() {
    static AppNames names;
    return names;
}
}  // namespace

const AppNames& CurrentAppNames() { return Storage(); }

void SetAppNames(AppNames names) { Storage() = std::move(names); }

}  // namespace orvane
