#include "engine/EngineResult.h"

namespace vexa::engine {

EngineCode EngineCodeFromWorkerState(std::int32_t state) {
  if (state == 0) return EngineCode::kSuccess;
  if (state >= 1 && state <= 7) return static_cast<EngineCode>(1000 + state);
  return EngineCode::kBrellUnknown;
}

std::string AfterWhy(const std::string& why, const std::string& text) {
  return why.empty() ? text : why + "\n" + text;
}

}  // namespace vexa::engine
