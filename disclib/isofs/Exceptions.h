// Error objects of the file-system manager and its trace stream.
//
// Every failure is thrown as an object of the TREL_Exception tree. Each one
// carries its class name, the place where it was thrown (made with
// "%s:[%s:%d]" from function, source module and line) and a comment.
#pragma once

#include <iostream>
#include <string>

namespace isofs {

class TREL_Exception {
 public:
  TREL_Exception(std::string name, std::string location, std::string comment)
      : name_(std::move(name)), location_(std::move(location)), comment_(std::move(comment)) {}
  TREL_Exception(const TREL_Exception&) = default;
  TREL_Exception& operator=(const TREL_Exception&) = default;

  // Writes "Exception: <name>, in: <location>." and "Comment: <comment>."
  virtual void Print(std::ostream& out = std::cerr) const;
  virtual const std::string& GetName() const { return name_; }
  virtual const std::string& GetLocation() const { return location_; }
  virtual const std::string& GetComment() const { return comment_; }
  virtual void SetName(std::string s) { name_ = std::move(s); }
  virtual void SetLocation(std::string s) { location_ = std::move(s); }
  virtual void SetComment(std::string s) { comment_ = std::move(s); }
  virtual ~TREL_Exception() = default;

 private:
  std::string name_;
  std::string location_;
  std::string comment_;
};

// "%s:[%s:%d]" into a buffer of 1024 characters.
std::string MakeLocation(const char* function, const char* module, int line);

#define TREL_ERROR_CLASS(Cls, Base)                       \
  class Cls : public Base {                               \
   public:                                                \
    using Base::Base;                                     \
    static constexpr const char* kName = #Cls;            \
  }

TREL_ERROR_CLASS(E_NullPointer, TREL_Exception);
TREL_ERROR_CLASS(E_InvalidObject, TREL_Exception);
TREL_ERROR_CLASS(E_IO, TREL_Exception);
TREL_ERROR_CLASS(E_InvalidPath, E_IO);
TREL_ERROR_CLASS(E_NoSuchDirEntry, E_InvalidPath);
TREL_ERROR_CLASS(E_NoSuchPath, E_InvalidPath);
// A directory holds more entries of one shortened name than the numbering
// can tell apart within the name's length limit.
TREL_ERROR_CLASS(E_NoUniqueName, E_InvalidPath);
TREL_ERROR_CLASS(E_UnsuppMethod, TREL_Exception);
TREL_ERROR_CLASS(E_InvalidParameter, TREL_Exception);
TREL_ERROR_CLASS(E_UnsuppRequest, TREL_Exception);
TREL_ERROR_CLASS(E_InvalidRequest, TREL_Exception);
TREL_ERROR_CLASS(E_ORB, TREL_Exception);
TREL_ERROR_CLASS(E_DuplicateObject, E_ORB);
TREL_ERROR_CLASS(E_NoSuchObject, E_ORB);

#undef TREL_ERROR_CLASS

// Throws an error of class E named by its own class name.
template <class E>
[[noreturn]] void ThrowTrel(const char* function, const char* module, int line,
                            std::string comment) {
  throw E(E::kName, MakeLocation(function, module, line), std::move(comment));
}

// The process-wide trace stream. It is switched off when made and nothing in
// the system switches it on, so trace statements cost one test of a flag.
// Lines are collected in an 8192-character buffer; a longer line is cut.
class SystemLogStream {
 public:
  static constexpr std::size_t kBufferSize = 8192;

  explicit SystemLogStream(std::ostream* target = &std::cout) : target_(target) {}

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on) { enabled_ = on; }
  void SetTarget(std::ostream* target) { target_ = target; }

  SystemLogStream& operator<<(long long v);
  SystemLogStream& operator<<(unsigned long long v);
  SystemLogStream& operator<<(int v) { return *this << static_cast<long long>(v); }
  SystemLogStream& operator<<(unsigned v) { return *this << static_cast<unsigned long long>(v); }
  SystemLogStream& operator<<(long v) { return *this << static_cast<long long>(v); }
  SystemLogStream& operator<<(unsigned long v) { return *this << static_cast<unsigned long long>(v); }
  SystemLogStream& operator<<(const void* p);
  SystemLogStream& operator<<(const char* text);
  SystemLogStream& operator<<(char c);
  SystemLogStream& operator<<(const std::string& text);
  SystemLogStream& operator<<(const char16_t* text);
  SystemLogStream& operator<<(const std::u16string& text);
  SystemLogStream& operator<<(SystemLogStream& (*manip)(SystemLogStream&)) { return manip(*this); }

  void SetHex(bool hex) { hex_ = hex; }
  void EndLine();

 private:
  void Append(const char* s, std::size_t n);

  std::ostream* target_;
  char buffer_[kBufferSize] = {};
  std::size_t pos_ = 0;
  bool enabled_ = false;
  bool hex_ = false;
};

SystemLogStream& hex(SystemLogStream& s);
SystemLogStream& dec(SystemLogStream& s);
SystemLogStream& endl(SystemLogStream& s);

SystemLogStream& SystemLog();

// Trace statement: "function:line:" then what follows. Evaluates nothing
// while the trace stream is off.
#define ISOFS_TRACE(function)                                        \
  if (!::isofs::SystemLog().Enabled()) {                             \
  } else                                                             \
    ::isofs::SystemLog() << function << ":" << __LINE__ << ":"

}  // namespace isofs
