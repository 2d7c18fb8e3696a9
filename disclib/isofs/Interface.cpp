// Error objects, the trace stream and the object broker.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "disclib/isofs/Exceptions.h"
#include "disclib/isofs/SimpleORB.h"

namespace isofs {

void TREL_Exception::Print(std::ostream& out) const {
  out << "Exception: " << name_ << ", in: " << location_ << ".\n";
  out << "Comment: " << comment_ << ".\n";
}

std::string MakeLocation(const char* function, const char* module, int line) {
  char buf[1024];
  std::snprintf(buf, sizeof buf, "%s:[%s:%d]", function ? function : "", module ? module : "", line);
  return buf;
}

// ---- trace stream ---------------------------------------------------------

void SystemLogStream::Append(const char* s, std::size_t n) {
  // Room is kept for the terminator; what does not fit is cut.
  const std::size_t room = kBufferSize - 1 - pos_;
  if (n > room) n = room;
  std::memcpy(buffer_ + pos_, s, n);
  pos_ += n;
}

void SystemLogStream::EndLine() {
  buffer_[pos_] = '\0';
  if (target_) {
    *target_ << buffer_ << '\n';
    target_->flush();
  }
  pos_ = 0;
}

SystemLogStream& SystemLogStream::operator<<(long long v) {
  if (!enabled_) return *this;
  char buf[32];
  int n = hex_ ? std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(v))
               : std::snprintf(buf, sizeof buf, "%lld", v);
  Append(buf, static_cast<std::size_t>(n));
  return *this;
}

SystemLogStream& SystemLogStream::operator<<(unsigned long long v) {
  if (!enabled_) return *this;
  char buf[32];
  int n = std::snprintf(buf, sizeof buf, hex_ ? "%llx" : "%llu", v);
  Append(buf, static_cast<std::size_t>(n));
  return *this;
}

SystemLogStream& SystemLogStream::operator<<(const void* p) {
  if (!enabled_) return *this;
  char buf[32];
  int n = std::snprintf(buf, sizeof buf, "0x%llx",
                        static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(p)));
  Append(buf, static_cast<std::size_t>(n));
  return *this;
}

SystemLogStream& SystemLogStream::operator<<(const char* text) {
  if (!enabled_ || !text) return *this;
  const std::size_t n = std::strlen(text);
  if (n && text[n - 1] == '\n') {
    Append(text, n - 1);
    EndLine();
  } else {
    Append(text, n);
  }
  return *this;
}

SystemLogStream& SystemLogStream::operator<<(char c) {
  if (!enabled_) return *this;
  if (c == '\n') {
    EndLine();
  } else {
    Append(&c, 1);
  }
  return *this;
}

SystemLogStream& SystemLogStream::operator<<(const std::string& text) { return *this << text.c_str(); }

SystemLogStream& SystemLogStream::operator<<(const char16_t* text) {
  if (!enabled_ || !text) return *this;
  for (; *text; ++text) {
    const char c = static_cast<char>(*text & 0xFF);
    Append(&c, 1);
  }
  return *this;
}

SystemLogStream& SystemLogStream::operator<<(const std::u16string& text) { return *this << text.c_str(); }

SystemLogStream& hex(SystemLogStream& s) {
  s.SetHex(true);
  return s;
}
SystemLogStream& dec(SystemLogStream& s) {
  s.SetHex(false);
  return s;
}
SystemLogStream& endl(SystemLogStream& s) {
  if (s.Enabled()) s.EndLine();
  return s;
}

SystemLogStream& SystemLog() {
  static SystemLogStream log;
  return log;
}

// ---- object broker --------------------------------------------------------

namespace {
// Shared by all brokers of the process; the file-system manager uses brokers
// from one thread at a time.
int g_next_orb_id = 0x10000;
}  // namespace

int SimpleORB::AddObject(const std::string& name, const std::string& type, void* object, int id) {
  if (id == 0) id = g_next_orb_id++;
  auto it = objects_.find(name);
  if (it != objects_.end()) {
    ThrowTrel<E_DuplicateObject>("SimpleORB::AddObject", "Interface", __LINE__,
                                 name + " already present (type: " + it->second.type +
                                     ", new type: " + type + ")");
  }
  objects_.emplace(name, obj_container{id, type, object});
  return id;
}

std::map<std::string, SimpleORB::obj_container, SimpleORB::ltstr>::iterator SimpleORB::Find(
    const char* function, int line, const std::string& name, const std::string& type) {
  auto it = objects_.find(name);
  if (it == objects_.end()) {
    ThrowTrel<E_NoSuchObject>(function, "Interface", line, name + " of type: " + type);
  }
  if (it->second.type != type) {
    ThrowTrel<E_InvalidRequest>(function, "Interface", line,
                                "Found: " + name + "(" + it->second.type +
                                    ") while requested type was " + type);
  }
  return it;
}

void* SimpleORB::GetObjectA(const std::string& name, const std::string& type) {
  return Find("SimpleORB::GetObjectA", __LINE__, name, type)->second.object;
}

int SimpleORB::GetID(const std::string& name, const std::string& type) {
  return Find("SimpleORB::GetID", __LINE__, name, type)->second.id;
}

void SimpleORB::DeleteObject(const std::string& name, const std::string& type) {
  objects_.erase(Find("SimpleORB::DeleteObject", __LINE__, name, type));
}

void* SimpleORB::GetObjectA(int id) {
  for (auto& [name, c] : objects_) {
    if (c.id == id) return c.object;
  }
  ThrowTrel<E_NoSuchObject>("SimpleORB::GetObjectA", "Interface", __LINE__,
                            "Id: " + std::to_string(id));
}

void SimpleORB::DeleteObject(int id) {
  for (auto it = objects_.begin(); it != objects_.end(); ++it) {
    if (it->second.id == id) {
      objects_.erase(it);
      return;
    }
  }
  ThrowTrel<E_NoSuchObject>("SimpleORB::DeleteObject", "Interface", __LINE__,
                            "Id: " + std::to_string(id));
}

}  // namespace isofs
