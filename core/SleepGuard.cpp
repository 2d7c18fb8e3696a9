#include "core/SleepGuard.h"

#include <unistd.h>

#include <cstdio>

#ifdef VEXA_HAVE_SD_BUS
#include <fcntl.h>
#include <systemd/sd-bus.h>
#endif

namespace vexa::core {

namespace {

#ifdef VEXA_HAVE_SD_BUS
class LogindInhibitor : public InhibitorSource {
 public:
  int Acquire() override {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0 || !bus) return kUnavailable;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int result = kFailed;
    const int rc = sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                                      "org.freedesktop.login1.Manager", "Inhibit", &error, &reply, "ssss",
                                      "sleep:idle", "vexa", "Writing a disc", "block");
    if (rc < 0) {
      // No logind on this bus: nothing to hold, nothing failed.
      if (sd_bus_error_has_name(&error, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
          sd_bus_error_has_name(&error, SD_BUS_ERROR_NAME_HAS_NO_OWNER)) {
        result = kUnavailable;
      }
    } else {
      int fd = -1;
      if (sd_bus_message_read(reply, "h", &fd) >= 0 && fd >= 0) {
        // The reply owns its descriptor; the lock lasts as long as a copy.
        const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (copy >= 0) result = copy;
      }
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
    return result;
  }
};
#endif

class NoInhibitor : public InhibitorSource {
 public:
  int Acquire() override { return kUnavailable; }
};

}  // namespace

std::unique_ptr<InhibitorSource> InhibitorSource::Logind() {
#ifdef VEXA_HAVE_SD_BUS
  return std::make_unique<LogindInhibitor>();
#else
  return std::make_unique<NoInhibitor>();
#endif
}

SleepGuard::SleepGuard(LogFn log, std::unique_ptr<InhibitorSource> source)
    : log_(std::move(log)), source_(source ? std::move(source) : std::make_unique<NoInhibitor>()) {}

SleepGuard::~SleepGuard() { ReleaseLock(); }

void SleepGuard::ReleaseLock() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void SleepGuard::CanSuspend(bool allow) {
  canSuspend_ = allow;
  if (allow) {
    ReleaseLock();
    return;
  }
  if (fd_ >= 0) return;
  const int fd = source_->Acquire();
  if (fd >= 0) {
    fd_ = fd;
  } else if (fd == InhibitorSource::kFailed && log_) {
    log_(true, "CvexaStatusDlg::CanSuspend() - SetThreadExecutionState() call failed, canSuspend = false");
  }
}

void SleepGuard::Hold() {
  if (holds_++ == 0) CanSuspend(false);
}

void SleepGuard::Release() {
  if (holds_ > 0 && --holds_ == 0) CanSuspend(true);
}

long SleepGuard::OnPowerBroadcast(unsigned event, long /*data*/) {
  if (log_) log_(false, "CvexaStatusDlg::OnPowerBroadcast - entered");
  if (event != kPBT_APMQUERYSUSPEND) return kTRUE;
  if (log_) log_(false, "CvexaStatusDlg::OnPowerBroadcast - Query Suspend");
  if (!canSuspend_) {
    if (log_) log_(false, "CvexaStatusDlg::OnPowerBroadcast - Denied power standby");
    return kBROADCAST_QUERY_DENY;
  }
  if (log_) log_(false, "CvexaStatusDlg::OnPowerBroadcast - Query granted");
  return kTRUE;
}

}  // namespace vexa::core
