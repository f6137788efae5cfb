// The Set Clock operation: fetch the daytime record from the configured server and set the clock.
#include <memory>
#include <string>

#include "config/ServerList.h"
#include "net/UrlAccess.h"
#include "platform/Internet.h"
#include "platform/LocalTime.h"
#include "platform/Resources.h"
#include "platform/Seam.h"
#include "res/resource.h"
#include "sync/DaytimeRecord.h"
#include "ui/OrvaneDlg.h"

namespace orvane {
namespace {

// The reply must come from the server itself, never from a cache, and is not kept in one.
constexpr DWORD kOpenFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_TRANSFER_ASCII;

// String 102 with the date text in place of its "%s". The text is put in as it is: a "%" in a
// locale's date form must not be read as a format.
std::string ClockSetText(const std::string& dateText) {
    std::string text = LoadResourceString(IDS_CLOCK_SET);
    if (const std::size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, dateText);
    return text;
}

}  // namespace

void COrvaneDlg::OnSetClock() {
    if (!m_pSession) return;

    // Everything below may raise a failure; the cursor and the stream are released on the way out.
    CWaitCursor wait;
    bool clockSet = false;
    SetDlgItemText(IDC_STATUS, "");

    const std::string url = GetServerUrl();
    std::unique_ptr<CUrlStream> stream = m_pSession->OpenUrl(url, 1, kOpenFlags, nullptr);
    if (!stream) return;
    if (!stream->IsHttpResponse()) {
        stream->CloseStream();
        return;
    }

    std::string line;
    while (stream->ReadLine(line)) {
        if (!SetClockFromRecord(line)) continue;
        clockSet = true;
        SetDlgItemText(IDC_STATUS, ClockSetText(Seam<ILocalTime>::Get().CurrentDateTimeText()));
        break;
    }
    stream->CloseStream();
    stream.reset();

    if (!clockSet) SetDlgItemText(IDC_STATUS, LoadResourceString(IDS_COULD_NOT_SET));
}

}  // namespace orvane
