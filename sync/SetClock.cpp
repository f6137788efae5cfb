// The Set Clock operation: fetch the daytime record from the configured server and set the clock.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/Application.h"
#include "config/ServerList.h"
#include "net/UrlAccess.h"
#include "platform/Clock.h"
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

// String `id` with `value` in place of its "%s". The value is put in as it is: a "%" in a locale's
// date form must not be read as a format.
std::string TextWith(UINT id, const std::string& value) {
    std::string text = LoadResourceString(id);
    if (const std::size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, value);
    return text;
}

std::string CurrentDateText() { return Seam<ILocalTime>::Get().CurrentDateTimeText(); }

// Days from 1970-01-01 to the given date of the Gregorian calendar.
std::int64_t DaysSinceEpoch(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// How far the record's second is from the system clock's current second, either way. The record
// carries whole seconds, so the clock's fraction of a second is left out as well.
std::int64_t SecondsFromClock(const SYSTEMTIME& record) {
    const std::int64_t recordSeconds =
        ((DaysSinceEpoch(record.wYear, record.wMonth, record.wDay) * 24 + record.wHour) * 60 + record.wMinute) * 60 +
        record.wSecond;
    const std::int64_t nowSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    return std::llabs(recordSeconds - nowSeconds);
}

// With automatic synchronisation on, the status text for `line` once it has been acted on, or
// nullopt for a line that holds no record.
std::optional<std::string> ActOnRecordWithSync(AutomaticSync sync, std::string_view line) {
    const std::optional<SYSTEMTIME> record = ParseDaytimeRecord(line);
    if (!record) return std::nullopt;
    // Synchronised, the clock is right to a few milliseconds; a record's whole second would only
    // make it worse.
    if (sync == AutomaticSync::OnSynchronised)
        return TextWith(IDS_SYNC_KEEPS_CLOCK, std::to_string(SecondsFromClock(*record)));
    const SuspendedSetOutcome outcome = Seam<IClock>::Get().SetSystemTimeSuspendingSync(*record);
    if (outcome.clockSet) return TextWith(outcome.syncOn ? IDS_SYNC_CLOCK_SET : IDS_SYNC_SET_LEFT_OFF, CurrentDateText());
    return LoadResourceString(outcome.syncOn ? IDS_SYNC_NOT_SET : IDS_SYNC_NOT_SET_LEFT_OFF);
}

}  // namespace

void COrvaneDlg::OnSetClock() {
    if (!m_pSession) return;

    // Everything below may raise a failure; the cursor and the stream are released on the way out.
    std::optional<CWaitCursor> wait(std::in_place);
    SetDlgItemText(IDC_STATUS, "");
    const AutomaticSync sync = Seam<IClock>::Get().AutomaticSyncState();
    // Setting the clock means stopping the system's own synchronisation for a moment: the user
    // decides, before anything is fetched, so that the record is fresh when it is used.
    if (sync == AutomaticSync::OnUnsynchronised) {
        wait.reset();
        if (App().ShowMessageBox(LoadResourceString(IDS_SYNC_ASK), MB_OKCANCEL | MB_ICONQUESTION, 0) != IDOK) {
            SetDlgItemText(IDC_STATUS, LoadResourceString(IDS_SYNC_DECLINED));
            return;
        }
        wait.emplace();
    }
    bool recordUsed = false;

    const std::string url = GetServerUrl();
    std::unique_ptr<CUrlStream> stream = m_pSession->OpenUrl(url, 1, kOpenFlags, nullptr);
    if (!stream) return;
    if (!stream->IsHttpResponse()) {
        stream->CloseStream();
        return;
    }

    std::string line;
    while (stream->ReadLine(line)) {
        if (sync == AutomaticSync::Off) {
            if (!SetClockFromRecord(line)) continue;
            SetDlgItemText(IDC_STATUS, TextWith(IDS_CLOCK_SET, CurrentDateText()));
        } else {
            const std::optional<std::string> status = ActOnRecordWithSync(sync, line);
            if (!status) continue;
            SetDlgItemText(IDC_STATUS, *status);
        }
        recordUsed = true;
        break;
    }
    stream->CloseStream();
    stream.reset();

    if (!recordUsed) SetDlgItemText(IDC_STATUS, LoadResourceString(IDS_COULD_NOT_SET));
}

}  // namespace orvane
