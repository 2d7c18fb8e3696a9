#include "platform/base/Module.h"

#include <dlfcn.h>

#include <utility>
#include <vector>

#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::base {

Module::~Module() {
  if (handle_) dlclose(handle_);
}

Module::Module(Module&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      path_(std::move(other.path_)),
      error_(std::move(other.error_)) {}

Module& Module::operator=(Module&& other) noexcept {
  if (this != &other) {
    if (handle_) dlclose(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
    path_ = std::move(other.path_);
    error_ = std::move(other.error_);
  }
  return *this;
}

namespace {
// A module name is the system's own (a registered server's file, which may
// be written with backslashes), so both separators end its folder part here.
std::string StripModuleSuffix(std::string_view name) {
  std::string base = BaseName(ToNativePath(name));
  for (std::string_view suffix : {".dll", ".so", ".DLL"}) {
    if (base.size() > suffix.size() &&
        EqualsNoCase(std::string_view(base).substr(base.size() - suffix.size()), suffix)) {
      base.erase(base.size() - suffix.size());
      break;
    }
  }
  return base;
}
}  // namespace

std::string ModuleFileName(std::string_view systemName) {
  std::string base = StripModuleSuffix(systemName);
  if (base.rfind("lib", 0) == 0) return base + ".so";
  return "lib" + base + ".so";
}

Module Module::Load(std::string_view name) {
  Module m;
  std::string n = ToNativePath(name);
  std::vector<std::string> candidates;
  if (n.find('/') != std::string::npos) {
    candidates.push_back(n);
  } else {
    const std::string base = StripModuleSuffix(n);
    candidates.push_back(JoinPath(LibDir(), ModuleFileName(n)));
    candidates.push_back(JoinPath(LibDir(), base + ".so"));
  }
  for (const std::string& path : candidates) {
    if (!FileExists(path)) continue;
    dlerror();
    if (void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      m.handle_ = h;
      m.path_ = path;
      return m;
    }
    const char* e = dlerror();
    m.error_ = e ? e : "dlopen failed";
    return m;
  }
  m.error_ = "module not found: " + std::string(name);
  return m;
}

void* Module::Symbol(const char* name) const {
  if (!handle_) return nullptr;
  return dlsym(handle_, name);
}

void* Module::Release() { return std::exchange(handle_, nullptr); }

}  // namespace vexa::base
