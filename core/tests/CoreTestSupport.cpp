#include "core/tests/CoreTestSupport.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "idl/ProductKey.h"
#include "platform/base/Path.h"
#include "platform/registry/Registry.h"

namespace vexa::core::test {

using namespace vexa::com;

std::vector<std::string> LogStore::Texts(const std::string& type) const {
  std::vector<std::string> out;
  for (const auto& l : lines) {
    if (type.empty() || l.type == type) out.push_back(l.text);
  }
  return out;
}

bool LogStore::Has(const std::string& type, const std::string& text) const { return Find(type, text) >= 0; }

int LogStore::Find(const std::string& type, const std::string& text) const {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].type == type && lines[i].text == text) return static_cast<int>(i);
  }
  return -1;
}

namespace {

class FakeLogger : public ComObjectRoot, public IVexaLogger {
 public:
  using Interfaces = InterfaceMap<IVexaLogger, Via<IDispatch, IVexaLogger>>;
  explicit FakeLogger(std::shared_ptr<LogStore> store) : store_(std::move(store)) {}

  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT get_LogFilePath(BSTR* p) override {
    *p = SysAllocString(u"");
    return S_OK;
  }
  HRESULT ResetLogFile() override { return S_OK; }
  HRESULT WriteMessage(BSTR component, BSTR type, BSTR msg) override {
    if (store_->fail) return E_FAIL;
    store_->lines.push_back({BstrToUtf8(component), BstrToUtf8(type), BstrToUtf8(msg)});
    return S_OK;
  }
  HRESULT WriteMessages(BSTR component, BSTR type, BSTR m1, BSTR, BSTR, BSTR, BSTR) override {
    return WriteMessage(component, type, m1);
  }

 private:
  std::shared_ptr<LogStore> store_;
};

}  // namespace

ComPtr<IVexaLogger> MakeFakeLogger(std::shared_ptr<LogStore> store) {
  ComPtr<IVexaLogger> logger;
  ComObject<FakeLogger>::Create(logger.Put(), std::move(store));
  return logger;
}


bool HaveTool(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

void CoreTest::SetUp() {
  dir_ = base::MakeTempDir("", "vexa-core-");
  ASSERT_FALSE(dir_.empty());
  ::setenv("VEXA_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
}

void CoreTest::TearDown() {
  TakeError();
  CoUninitialize();
  base::RemoveAll(dir_);
}

void CoreTest::SetProductString(const char* name, const std::string& value) {
  reg::SetValue(reg::Hive::LocalMachine, kProductKey, name, reg::Value::String(value));
}

void CoreTest::SetProductDword(const char* name, DWORD value) {
  reg::SetValue(reg::Hive::LocalMachine, kProductKey, name, reg::Value::Dword(value));
}

}  // namespace vexa::core::test
