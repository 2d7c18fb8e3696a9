// The six steps of a disc creation run as the status dialog shows them: each
// step marked current with its status text and its progress from 0 to 100,
// then left; used on every user-interface back end so they can be compared.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/CoreUtil.h"
#include "core/UiPort.h"

namespace vexa::core::test {

// The status texts of the six steps, from the language library.
inline std::vector<std::string> StatusSequenceTexts(CVexaCoreUtil& util) {
  return {util.LoadString(4552, "Locating the file on your drive."),
          util.LoadString(4468, "Erasing Disc: This may take a few minutes."),
          util.LoadString(4467, "Starting photo show creation - This may take a few minutes"),
          FormatMessageText(util.LoadString(63, "Time Remaining: %1!s!:%2!s!"), {"0", "04"}),
          util.LoadString(4466, "Finishing photo show creation"),
          FormatMessageText(util.LoadString(4560, "Write speed %1!1d!x - Time Remaining: %2!s!:%3!s!"),
                            {8, "1", "05"})};
}

// Runs the steps; afterStep (when given) runs after each step's progress
// reached 100 and the port was pumped. Stops early when the dialog's cancel
// request is set and returns the step it stopped at (7 when it ran through).
inline int RunStatusSequence(UiPort& ui, CVexaCoreUtil& util, const std::function<void(int)>& afterStep = {}) {
  const std::vector<std::string> texts = StatusSequenceTexts(util);
  StatusDialog& status = ui.Status();
  status.Show();
  for (int step = 1; step <= 6; ++step) {
    if (step > 1) status.ShowStep(step - 1, false);
    status.ShowStep(step, true);
    status.SetStatusText(texts[static_cast<std::size_t>(step - 1)]);
    for (int p = 0; p <= 100; p += 25) {
      status.SetProgress(p);
      ui.PumpMessages();
    }
    if (afterStep) afterStep(step);
    ui.PumpMessages();
    if (status.cancelRequested) return step;
  }
  return 7;
}

}  // namespace vexa::core::test
