// A request to stop: SIGTERM (what the install utility sends), SIGINT and
// SIGHUP. Between the steps of a run the program notices the request, logs
// it, releases its components and ends. While it waits inside a component
// (a wizard or orchestrator call, which may last for a whole burn, or a
// message box) the program ends at once: those calls cannot be interrupted
// from outside, and waiting for them would leave the request unanswered.
#pragma once

namespace vexa::app {

// Installs the handlers. Call once, before any thread is started.
void InstallStopHandlers();

// The signal that asked to stop, 0 when none did.
int StopSignal();

// The exit status of a program ended by signal sig.
constexpr int StopExitStatus(int sig) { return 128 + sig; }

// Marks the time spent inside a component call or a message box: a stop
// request then ends the program at once (so does one that came just
// before the call began).
class WaitingInComponent {
 public:
  WaitingInComponent();
  ~WaitingInComponent();
  WaitingInComponent(const WaitingInComponent&) = delete;
  WaitingInComponent& operator=(const WaitingInComponent&) = delete;
};

}  // namespace vexa::app
