/* Preloaded into systemd-timedated by scripts/booted-check.sh: its clock calls are written to a
 * file and never reach the kernel, so the machine's clock never changes, and the kernel's clock
 * discipline that NTPSynchronized reports (adjtimex) is made up, as a container may not read it.
 *   ORVANE_CLOCK_LOG: the file that gets one line per request, "CALL REQUESTED NOW" (seconds since
 *     the epoch with nine decimals: the time asked for and the real time of the call).
 *   ORVANE_SYNCED_FLAG: a file whose presence makes the clock read as synchronised. */
#define _GNU_SOURCE
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <sys/timex.h>
#include <time.h>
#include <unistd.h>

static int record(const char *call, long long sec, long nsec) {
    const char *path = getenv("ORVANE_CLOCK_LOG");
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    FILE *log = path ? fopen(path, "a") : NULL;
    if (log) {
        fprintf(log, "%s %lld.%09ld %lld.%09ld\n", call, sec, nsec, (long long)now.tv_sec, now.tv_nsec);
        fclose(log);
    }
    return 0;
}

int clock_settime(clockid_t clock, const struct timespec *time) {
    if (clock != CLOCK_REALTIME) {
        errno = EINVAL;
        return -1;
    }
    return record("clock_settime", (long long)time->tv_sec, time->tv_nsec);
}

int settimeofday(const struct timeval *time, const struct timezone *zone) {
    (void)zone;
    return time ? record("settimeofday", (long long)time->tv_sec, (long)time->tv_usec * 1000) : 0;
}

/* systemd counts the clock synchronised while the maximum error is below 16 s. A request to change
 * the discipline is recorded and ignored. */
static int discipline(struct timex *timex) {
    const int synced = access(getenv("ORVANE_SYNCED_FLAG") ? getenv("ORVANE_SYNCED_FLAG") : "", F_OK) == 0;
    if (timex->modes != 0) record("adjtimex", 0, 0);
    memset(timex, 0, sizeof *timex);
    timex->maxerror = synced ? 1000 : 16000000;
    timex->esterror = synced ? 100 : 16000000;
    timex->status = synced ? 0 : STA_UNSYNC;
    return synced ? TIME_OK : TIME_ERROR;
}

int adjtimex(struct timex *timex) { return discipline(timex); }
int ntp_adjtime(struct timex *timex) { return discipline(timex); }
int clock_adjtime(clockid_t clock, struct timex *timex) {
    (void)clock;
    return discipline(timex);
}
