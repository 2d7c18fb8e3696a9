// SimpleORB: a small registry mapping a unique name to an object, its type
// name and a numeric identifier. Every directory of the file tree is one, so
// objects that belong to a directory can be found again from it.
#pragma once

#include <map>
#include <string>

namespace isofs {

class I_SimpleORB {
 public:
  virtual ~I_SimpleORB() = default;
  // Registers object under name; id 0 asks for a fresh identifier from the
  // process-wide counter. Returns the identifier used.
  virtual int AddObject(const std::string& name, const std::string& type, void* object, int id) = 0;
  virtual void* GetObjectA(const std::string& name, const std::string& type) = 0;
  virtual void* GetObjectA(int id) = 0;
  virtual int GetID(const std::string& name, const std::string& type) = 0;
  virtual void DeleteObject(const std::string& name, const std::string& type) = 0;
  virtual void DeleteObject(int id) = 0;
};

class SimpleORB : public virtual I_SimpleORB {
 public:
  struct obj_container {
    int id;
    std::string type;
    void* object;
  };
  // Plain byte-wise order of names; case matters.
  struct ltstr {
    bool operator()(const std::string& a, const std::string& b) const { return a < b; }
  };

  int AddObject(const std::string& name, const std::string& type, void* object, int id) override;
  void* GetObjectA(const std::string& name, const std::string& type) override;
  void* GetObjectA(int id) override;
  int GetID(const std::string& name, const std::string& type) override;
  void DeleteObject(const std::string& name, const std::string& type) override;
  void DeleteObject(int id) override;

  std::size_t ObjectCount() const { return objects_.size(); }

 private:
  std::map<std::string, obj_container, ltstr>::iterator Find(const char* function, int line,
                                                           const std::string& name,
                                                           const std::string& type);
  std::map<std::string, obj_container, ltstr> objects_;
};

}  // namespace isofs
