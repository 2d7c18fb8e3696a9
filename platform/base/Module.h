// Dynamic libraries loaded by the names the system gives them
// ("vidlathe.dll", "vidlathe", "discpakb.dll"): the name is looked up in the
// installation's lib/vexa/ as lib<name>.so, then <name>.so.
#pragma once

#include "platform/base/Export.h"

#include <string>
#include <string_view>

namespace vexa::base {

class VEXA_BASE_API Module {
 public:
  Module() = default;
  ~Module();
  Module(Module&& other) noexcept;
  Module& operator=(Module&& other) noexcept;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Loads by system module name, or by path when the name contains '/'.
  // On failure the module is empty and Error() says why.
  static Module Load(std::string_view name);

  bool IsLoaded() const { return handle_ != nullptr; }
  explicit operator bool() const { return IsLoaded(); }
  // The symbol's address, or null when the module lacks it.
  void* Symbol(const char* name) const;
  template <typename F>
  F Function(const char* name) const {
    return reinterpret_cast<F>(Symbol(name));
  }
  const std::string& Path() const { return path_; }
  const std::string& Error() const { return error_; }
  // Gives up ownership: the library stays loaded for the process's life.
  void* Release();

 private:
  void* handle_ = nullptr;
  std::string path_;
  std::string error_;
};

// The file name a system module name maps to, without folder:
// "vidlathe.dll" -> "libvidlathe.so".
VEXA_BASE_API std::string ModuleFileName(std::string_view systemName);

}  // namespace vexa::base
