// The server list and the choice of URL from the settings.
#include "config/ServerList.h"

#include "config/SettingsStore.h"
#include "platform/Resources.h"
#include "platform/Types.h"

namespace orvane {

namespace {

const char kSection[] = "Configuration";
const char kRadioButton[] = "RadioButton";
const char kUrlIndex[] = "URLIndex";
const char kUrl[] = "URL";

}  // namespace

std::int32_t ClampServerIndex(std::int32_t index) { return index >= 0 && index < SERVER_COUNT ? index : 0; }

bool UseListedServer() { return AppSettings().GetInt(kSection, kRadioButton, 0) == 0; }

std::string GetServerUrl() {
    if (!UseListedServer()) return AppSettings().GetString(kSection, kUrl, std::string());
    // Reading never mends an out-of-range index in the store; only the Configure dialog rewrites it.
    const auto index = ClampServerIndex(static_cast<std::int32_t>(AppSettings().GetInt(kSection, kUrlIndex, 0)));
    return LoadResourceString(static_cast<UINT>(IDS_SERVER_FIRST + index));
}

}  // namespace orvane
