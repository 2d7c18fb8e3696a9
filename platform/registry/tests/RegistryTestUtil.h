// A fresh store for each test: its own writable folder, and optionally its
// own defaults layer (an installation prefix holding share/vexa/registry).
#pragma once

#include "platform/base/Path.h"
#include "platform/registry/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = vexa::base::MakeTempDir("", "vexa-reg-test-");
    ASSERT_FALSE(root_.empty());
    dir_ = root_ + "/store";
    setenv("VEXA_REGISTRY_DIR", dir_.c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
    unsetenv("VEXA_PREFIX");
  }
  void TearDown() override {
    unsetenv("VEXA_REGISTRY_DIR");
    unsetenv("VEXA_PREFIX");
    unsetenv("XDG_DATA_HOME");
    vexa::base::RemoveAll(root_);
  }

  // Replaces the shipped defaults with these files (name, text).
  void UseDefaults(const std::vector<std::pair<std::string, std::string>>& files) {
    const std::string prefix = root_ + "/prefix";
    ASSERT_TRUE(vexa::base::MakeDirs(prefix + "/share/vexa/registry"));
    for (const auto& [name, text] : files) {
      ASSERT_TRUE(vexa::base::WriteFileAtomic(prefix + "/share/vexa/registry/" + name, text));
    }
    setenv("VEXA_PREFIX", prefix.c_str(), 1);
  }

  void WriteStoreFile(const std::string& name, const std::string& text) {
    ASSERT_TRUE(vexa::base::MakeDirs(dir_));
    ASSERT_TRUE(vexa::base::WriteFileAtomic(dir_ + "/" + name, text));
  }

  std::string StoreFile(const std::string& name) {
    std::string text;
    vexa::base::ReadFile(dir_ + "/" + name, &text);
    return text;
  }

  std::string root_, dir_;
};
