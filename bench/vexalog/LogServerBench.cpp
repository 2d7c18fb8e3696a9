// Messages per second written through the log server by 1 and by 4 client
// processes at once, and through a logger object in the writer's own
// process, so the cost of the process boundary shows.
//
//   vexalog_bench [MESSAGES]     (default 20000 per writer)
//
// Runs in a private registry layer, data folder and runtime folder, with a
// main log limit high enough that no pruning happens during a run.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "idl/vexalog.h"
#include "logging/VexaLogger_p.h"
#include "platform/base/Path.h"
#include "platform/registry/Registry.h"
#include "idl/ProductKey.h"

extern char** environ;

using vexa::com::Bstr;
using vexa::com::ComPtr;
using Seconds = std::chrono::duration<double>;

namespace {


bool WriteMany(IVexaLogger* logger, const char* name, long count) {
  Bstr component = Bstr::FromUtf8(name);
  Bstr type = Bstr::FromUtf8("INFO");
  for (long i = 0; i < count; ++i) {
    Bstr text = Bstr::FromUtf8("benchmark message number " + std::to_string(i));
    if (FAILED(logger->WriteMessage(component.Get(), type.Get(), text.Get()))) return false;
  }
  return true;
}

// A client process: creates a logger through the server and writes.
int ClientMain(long count, const char* name) {
  CoInitialize(nullptr);
  int code = 1;
  {
    ComPtr<IVexaLogger> logger;
    if (SUCCEEDED(CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_LOCAL_SERVER,
                                   IID_IVexaLogger, logger.PutVoid()))) {
      code = WriteMany(logger.Get(), name, count) ? 0 : 2;
    }
  }
  CoUninitialize();
  return code;
}

double RunClients(const char* self, int clients, long count) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<pid_t> pids;
  for (int i = 0; i < clients; ++i) {
    std::string mode = "--client", n = std::to_string(count), name = "bench" + std::to_string(i);
    std::string program = self;
    char* argv[] = {program.data(), mode.data(), n.data(), name.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, self, nullptr, nullptr, argv, environ) != 0) return -1;
    pids.push_back(pid);
  }
  bool ok = true;
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  if (!ok) return -1;
  return clients * count / Seconds(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--client") {
    return ClientMain(std::strtol(argv[2], nullptr, 10), argv[3]);
  }
  const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
  if (count <= 0) {
    std::fprintf(stderr, "usage: vexalog_bench [MESSAGES]\n");
    return 2;
  }

  const std::string root = vexa::base::MakeTempDir("", "vexalog-bench-");
  setenv("VEXA_REGISTRY_DIR", (root + "/registry").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
  vexa::base::MakeDirs(root + "/runtime");
  vexa::base::MakeDirs(root + "/data");
  using vexa::reg::Hive;
  using vexa::reg::Value;
  vexa::reg::SetValue(Hive::LocalMachine, kProductKey, "APP_PATH_DATA", Value::String(root + "/data/"));
  vexa::reg::SetValue(Hive::LocalMachine, kProductKey, "Log Size", Value::Dword(0xFFFFFFFFu));

  CoInitialize(nullptr);
  double inProcess = 0;
  {
    ComPtr<IVexaLogger> logger;
    if (FAILED(vexa::logging::CreateVexaLogger(IID_IVexaLogger, logger.PutVoid()))) return 1;
    const auto start = std::chrono::steady_clock::now();
    if (!WriteMany(logger.Get(), "inproc", count)) return 1;
    inProcess = count / Seconds(std::chrono::steady_clock::now() - start).count();
  }
  // One object held here keeps the server running between the runs, so
  // its start-up is not counted.
  ComPtr<IVexaLogger> keeper;
  if (FAILED(CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_LOCAL_SERVER, IID_IVexaLogger,
                              keeper.PutVoid()))) {
    std::fprintf(stderr, "vexalog_bench: the log server could not be started\n");
    return 1;
  }
  const double one = RunClients(argv[0], 1, count);
  const double four = RunClients(argv[0], 4, count);
  keeper.Reset();
  CoUninitialize();

  std::printf("messages per writer: %ld\n", count);
  std::printf("in-process object:        %12.0f msg/s\n", inProcess);
  std::printf("server, 1 client process: %12.0f msg/s  (%.1fx slower than in-process)\n", one,
              inProcess / one);
  std::printf("server, 4 client processes:%11.0f msg/s total\n", four);
  vexa::base::RemoveAll(root);
  return one > 0 && four > 0 ? 0 : 1;
}
