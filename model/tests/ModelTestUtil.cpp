#include "model/tests/ModelTestUtil.h"

#include <cstdio>
#include <sys/wait.h>

namespace vexa::model::test {

int RunTool(const std::string& command, std::string* output) {
  output->clear();
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) output->append(buf, n);
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveChecker(const char* program) {
  std::string out;
  return RunTool(std::string("command -v ") + program, &out) == 0;
}

}  // namespace vexa::model::test
