// The store through its C++ face: layers, names, HKEY_CLASSES_ROOT, value
// types through the file, scripts, and concurrent writers.
#include "platform/registry/tests/RegistryTestUtil.h"
#include "tests/support/Waits.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>
#include <utility>

using namespace vexa::reg;

namespace {
const char kProductKey[] = "SOFTWARE\\Tervane\\Kv Orlune Disc\\CurrentVersion";
}

TEST_F(RegistryTest, ShippedDefaultsPointAtTheStagedShareFolder) {
  // The build tree is laid out like an installation: share/vexa/ beside lib/vexa/.
  const std::string share =
      std::filesystem::canonical(std::string(VEXA_BUILD_DIR) + "/share/vexa").string() + "/";
  EXPECT_EQ(GetString(Hive::LocalMachine, kProductKey, "APP_PATH"), share);
  EXPECT_EQ(GetString(Hive::LocalMachine, kProductKey, "APP_PATH_DATA"), root_ + "/data/vexa/");
  EXPECT_EQ(GetDword(Hive::LocalMachine, kProductKey, "Log Size"), 400000u);
  EXPECT_EQ(GetDword(Hive::LocalMachine, kProductKey, "Debug Log Size"), 50000u);
  EXPECT_EQ(GetString(Hive::LocalMachine, kProductKey, "DownloadVersion"), "1.0.0.0");
  // Reading writes nothing.
  EXPECT_FALSE(vexa::base::DirExists(dir_));
}

TEST_F(RegistryTest, WritableLayerOverridesDefaultsAndLaterDefaultFilesWin) {
  UseDefaults({
      {"10-base.reg",
       "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\App]\n\"A\"=dword:00000001\n\"B\"=\"base\"\n"
       "\"Where\"=\"%VEXA_SHARE%/x;%VEXA_DATA_HOME%\"\n\n"
       "[HKEY_LOCAL_MACHINE\\Software\\Old]\n\"K\"=\"k\"\n"},
      {"20-over.reg",
       "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\App]\n\"A\"=dword:00000002\n"
       "[-HKEY_LOCAL_MACHINE\\Software\\Old]\n"},
  });
  const Hive lm = Hive::LocalMachine;
  EXPECT_EQ(GetDword(lm, "Software\\App", "A"), 2u);
  EXPECT_FALSE(KeyExists(lm, "Software\\Old"));
  EXPECT_EQ(GetString(lm, "Software\\App", "Where"),
            root_ + "/prefix/share/vexa/x;" + root_ + "/data/vexa");

  ASSERT_EQ(SetValue(lm, "Software\\App", "B", Value::String("mine")), Status::Ok);
  ASSERT_EQ(SetValue(lm, "Software\\App", "Literal", Value::String("%VEXA_SHARE%")), Status::Ok);
  EXPECT_EQ(GetString(lm, "Software\\App", "B"), "mine");
  // Other defaults stay visible; placeholders are filled in the defaults only.
  EXPECT_EQ(GetDword(lm, "Software\\App", "A"), 2u);
  EXPECT_EQ(GetString(lm, "Software\\App", "Literal"), "%VEXA_SHARE%");

  // Deleting the user's value uncovers the default; the default itself stays.
  EXPECT_EQ(DeleteValue(lm, "Software\\App", "B"), Status::Ok);
  EXPECT_EQ(GetString(lm, "Software\\App", "B"), "base");
  EXPECT_EQ(DeleteValue(lm, "Software\\App", "B"), Status::NoValue);
  EXPECT_EQ(DeleteValue(lm, "Software\\Nowhere", "B"), Status::NoKey);
  EXPECT_EQ(DeleteKeyTree(lm, "Software\\App"), Status::Ok);  // the writable part
  EXPECT_EQ(DeleteKeyTree(lm, "Software\\App"), Status::NoKey);
  EXPECT_EQ(GetString(lm, "Software\\App", "B"), "base");

  std::vector<std::string> values;
  ASSERT_EQ(ListValues(lm, "Software\\App", &values), Status::Ok);
  EXPECT_EQ(values, (std::vector<std::string>{"A", "B", "Where"}));
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheFirstWrittenCase) {
  const Hive cu = Hive::CurrentUser;
  ASSERT_EQ(SetValue(cu, "Software\\MiXed\\Key", "Name", Value::Dword(1)), Status::Ok);
  ASSERT_EQ(SetValue(cu, "SOFTWARE/mixed/KEY", "NAME", Value::Dword(2)), Status::Ok);
  ASSERT_EQ(SetValue(cu, "software\\MIXED\\other", "x", Value::Dword(3)), Status::Ok);
  EXPECT_EQ(GetDword(cu, "software\\mixed\\key", "name"), 2u);

  std::vector<std::string> names;
  ASSERT_EQ(ListSubkeys(cu, "SOFTWARE\\MIXED", &names), Status::Ok);
  EXPECT_EQ(names, (std::vector<std::string>{"Key", "other"}));
  ASSERT_EQ(ListValues(cu, "Software\\Mixed\\Key", &names), Status::Ok);
  EXPECT_EQ(names, std::vector<std::string>{"Name"});
  EXPECT_NE(StoreFile("HKCU.reg").find("[HKEY_CURRENT_USER\\Software\\MiXed\\other]"),
            std::string::npos);

  // A key first written by the shipped defaults keeps their case in the user's file
  // (a defaults layer of our own, so other shipped scripts cannot change the case).
  UseDefaults({{"product.reg", std::string("REGEDIT4\n[HKEY_LOCAL_MACHINE\\") + kProductKey +
                                   "]\n\"Log Size\"=dword:00000001\n"}});
  ASSERT_EQ(SetValue(Hive::LocalMachine, "software\\tervane\\kv orlune disc\\currentversion", "Extra",
                     Value::Dword(1)),
            Status::Ok);
  EXPECT_NE(StoreFile("HKLM.reg").find(std::string("[HKEY_LOCAL_MACHINE\\") + kProductKey + "]"),
            std::string::npos);
  EXPECT_EQ(SetValue(Hive::LocalMachine, kProductKey, "log size", Value::Dword(7)), Status::Ok);
  ASSERT_EQ(ListValues(Hive::LocalMachine, kProductKey, &names), Status::Ok);
  EXPECT_EQ(std::count(names.begin(), names.end(), "Log Size"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "log size"), 0);
}

TEST_F(RegistryTest, ClassesRootMergesBothClassesKeysWithTheUsersWinning) {
  UseDefaults({{"com.reg",
                "REGEDIT4\n[HKEY_CLASSES_ROOT\\Vexa.Thing]\n@=\"machine\"\n\"Kind\"=\"machine kind\"\n"
                "[HKEY_LOCAL_MACHINE\\Software\\Classes\\Only.Machine]\n@=\"m\"\n"}});
  const Hive cr = Hive::ClassesRoot;
  EXPECT_EQ(GetString(Hive::LocalMachine, "Software\\Classes\\Vexa.Thing", ""), "machine");
  EXPECT_EQ(GetString(cr, "vexa.thing", ""), "machine");

  ASSERT_EQ(SetValue(Hive::CurrentUser, "Software\\Classes\\Vexa.Thing", "", Value::String("user")),
            Status::Ok);
  EXPECT_EQ(GetString(cr, "Vexa.Thing", ""), "user");
  EXPECT_EQ(GetString(cr, "Vexa.Thing", "Kind"), "machine kind");
  EXPECT_EQ(GetString(cr, "Only.Machine", ""), "m");

  // Writes through HKEY_CLASSES_ROOT land in the user's classes.
  ASSERT_EQ(SetValue(cr, "New.Class\\CLSID", "", Value::String("{x}")), Status::Ok);
  EXPECT_EQ(GetString(Hive::CurrentUser, "Software\\Classes\\New.Class\\CLSID", ""), "{x}");
  EXPECT_FALSE(KeyExists(Hive::LocalMachine, "Software\\Classes\\New.Class"));

  std::vector<std::string> names;
  ASSERT_EQ(ListSubkeys(cr, "", &names), Status::Ok);
  EXPECT_EQ(names, (std::vector<std::string>{"New.Class", "Only.Machine", "Vexa.Thing"}));
  EXPECT_EQ(DeleteKeyTree(cr, "New.Class"), Status::Ok);
  EXPECT_FALSE(KeyExists(cr, "New.Class"));
}

TEST_F(RegistryTest, EveryValueTypeSurvivesTheFile) {
  std::vector<BYTE> many(61);
  for (std::size_t i = 0; i < many.size(); ++i) many[i] = static_cast<BYTE>(i * 7);
  const std::pair<const char*, Value> cases[] = {
      {"", Value::String("default")},
      {"Plain", Value::String("C:\\Program Files\\x")},
      {"Quote \"and\" back\\slash", Value::String("say \"hi\" \\ bye\\")},
      {"Empty", Value::String("")},
      {"Lines", Value::String("one\ntwo\r\n\tthree")},
      {"Unicode", Value::String("Fotobücher \xE2\x82\xAC \xF0\x9F\x93\xB7")},
      {"Expand", Value::String("%TEMP%\\vexa", ValueType::ExpandSz)},
      {"Zero", Value::Dword(0)},
      {"Max", Value::Dword(0xFFFFFFFFu)},
      {"NoBytes", Value::Binary({})},
      {"Bytes", Value::Binary(many)},
      {"Multi", Value::Multi({"a", "b c", "\xC3\xBC"})},
      {"NoItems", Value::Multi({})},
  };
  for (const auto& [name, value] : cases) {
    ASSERT_EQ(SetValue(Hive::CurrentUser, "Software\\Types", name, value), Status::Ok) << name;
  }
  // Hand-checked lines of the file format.
  const std::string text = StoreFile("HKCU.reg");
  EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
  for (const char* line :
       {"@=\"default\"\n", "\"Plain\"=\"C:\\\\Program Files\\\\x\"\n",
        "\"Quote \\\"and\\\" back\\\\slash\"=\"say \\\"hi\\\" \\\\ bye\\\\\"\n",
        "\"Max\"=dword:ffffffff\n", "\"Expand\"=hex(2):25,54,45,4d,50,25,5c,76,65,78,61,00\n",
        "\"Multi\"=hex(7):61,00,62,20,63,00,c3,bc,00,00\n", "\"NoBytes\"=hex:\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
  }
  // A second folder holding a copy of the file is read from the text alone.
  const std::string copy = root_ + "/copy";
  ASSERT_TRUE(vexa::base::MakeDirs(copy));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(copy + "/HKCU.reg", text));
  setenv("VEXA_REGISTRY_DIR", copy.c_str(), 1);
  for (const auto& [name, value] : cases) {
    Value got;
    ASSERT_EQ(GetValue(Hive::CurrentUser, "Software\\Types", name, &got), Status::Ok) << name;
    EXPECT_EQ(got, value) << name;
  }
  std::vector<std::string> names;
  ASSERT_EQ(ListValues(Hive::CurrentUser, "Software\\Types", &names), Status::Ok);
  EXPECT_EQ(names.size(), std::size(cases));
}

TEST_F(RegistryTest, RefusesWhatTheFileCannotHold) {
  const Hive cu = Hive::CurrentUser;
  EXPECT_EQ(SetValue(cu, "K", "x", Value::Multi({"a", "", "b"})), Status::InvalidArgument);
  EXPECT_EQ(SetValue(cu, "K", "x", Value::String(std::string("a\0b", 3))), Status::InvalidArgument);
  EXPECT_EQ(SetValue(cu, "K", "line\nbreak", Value::Dword(1)), Status::InvalidArgument);
  EXPECT_EQ(SetValue(cu, "K\nL", "x", Value::Dword(1)), Status::InvalidArgument);
  EXPECT_EQ(SetValue(cu, "K", "x", Value{}), Status::WrongType);
  EXPECT_EQ(DeleteKeyTree(cu, ""), Status::InvalidArgument);
  EXPECT_FALSE(KeyExists(cu, "K"));
}

TEST_F(RegistryTest, KeysWithoutValuesPersist) {
  ASSERT_EQ(CreateKey(Hive::CurrentUser, "Software\\Empty\\Deep"), Status::Ok);
  ASSERT_EQ(SetValue(Hive::CurrentUser, "Software\\Empty", "v", Value::Dword(1)), Status::Ok);
  EXPECT_TRUE(KeyExists(Hive::CurrentUser, "Software\\Empty\\Deep"));
  EXPECT_EQ(DeleteKeyTree(Hive::CurrentUser, "Software\\Empty"), Status::Ok);
  EXPECT_FALSE(KeyExists(Hive::CurrentUser, "Software\\Empty\\Deep"));
  EXPECT_TRUE(KeyExists(Hive::CurrentUser, "Software"));
}

TEST_F(RegistryTest, ScriptsRegisterAndUnregisterTheirKeysOnly) {
  const char script[] =
      "REGEDIT4\n"
      "; a server's registration\n"
      "[HKEY_CLASSES_ROOT\\Vexa.Widget]\n@=\"Widget\"\n"
      "[HKEY_CLASSES_ROOT\\Vexa.Widget\\CLSID]\n@=\"{0a1b}\"\n"
      "[HKEY_CLASSES_ROOT\\CLSID\\{0a1b}\\InprocServer32]\n@=\"vexa_widget\"\n\"ThreadingModel\"="
      "\"Both\"\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Vexa\\Widget]\n\"Flags\"=dword:00000003\n";
  ASSERT_EQ(SetValue(Hive::ClassesRoot, "CLSID\\{other}", "", Value::String("other")), Status::Ok);
  ASSERT_EQ(ImportText(script), Status::Ok);
  EXPECT_EQ(GetString(Hive::ClassesRoot, "vexa.widget\\clsid", ""), "{0a1b}");
  EXPECT_EQ(
      GetString(Hive::CurrentUser, "Software\\Classes\\CLSID\\{0A1B}\\InprocServer32", "ThreadingModel"),
      "Both");
  EXPECT_EQ(GetDword(Hive::LocalMachine, "Software\\Vexa\\Widget", "Flags"), 3u);

  ASSERT_EQ(RemoveScriptKeys(script), Status::Ok);
  EXPECT_FALSE(KeyExists(Hive::ClassesRoot, "Vexa.Widget"));
  EXPECT_FALSE(KeyExists(Hive::ClassesRoot, "CLSID\\{0a1b}"));
  EXPECT_FALSE(KeyExists(Hive::LocalMachine, "Software\\Vexa\\Widget"));
  EXPECT_EQ(GetString(Hive::ClassesRoot, "CLSID\\{other}", ""), "other");

  // A script that goes wrong halfway changes nothing.
  const std::string before = StoreFile("HKCU.reg");
  EXPECT_EQ(ImportText("REGEDIT4\n[HKEY_CLASSES_ROOT\\Half]\n@=\"x\"\n\"bad\"=dword:xyz\n"),
            Status::BadFile);
  EXPECT_NE(LastError().find("line 4"), std::string::npos) << LastError();
  EXPECT_FALSE(KeyExists(Hive::ClassesRoot, "Half"));
  EXPECT_EQ(ImportText("REGEDIT4\n[-HKEY_CURRENT_USER]\n"), Status::BadFile);
  EXPECT_EQ(ImportText("REGEDIT4\n[-HKEY_CLASSES_ROOT\\]\n"), Status::BadFile);
  EXPECT_EQ(StoreFile("HKCU.reg"), before);
}

// Two processes, each with two threads, write 100 values per thread at once.
TEST_F(RegistryTest, ConcurrentWritersInTwoProcessesLoseNothing) {
  constexpr int kPerThread = 100;
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      bool ok = true;
      auto writer = [&ok, p](int t) {
        for (int i = 0; i < kPerThread; ++i) {
          const std::string name =
              "p" + std::to_string(p) + "t" + std::to_string(t) + "v" + std::to_string(i);
          if (SetValue(Hive::CurrentUser, "Software\\Race", name, Value::Dword(i)) != Status::Ok)
            ok = false;
        }
      };
      std::thread other(writer, 1);
      writer(0);
      other.join();
      _exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    const vexa::testsupport::ChildEnd end = vexa::testsupport::WaitChild(child, "the writer process");
    ASSERT_TRUE(end.ended) << end.failure;
    EXPECT_TRUE(end.Exited(0)) << end.Code();
  }
  std::vector<std::string> names;
  ASSERT_EQ(ListValues(Hive::CurrentUser, "Software\\Race", &names), Status::Ok);
  EXPECT_EQ(names.size(), 4u * kPerThread);
  for (int p = 0; p < 2; ++p) {
    for (int t = 0; t < 2; ++t) {
      for (int i = 0; i < kPerThread; i += 33) {
        const std::string name =
            "p" + std::to_string(p) + "t" + std::to_string(t) + "v" + std::to_string(i);
        EXPECT_EQ(GetDword(Hive::CurrentUser, "Software\\Race", name), DWORD(i)) << name;
      }
    }
  }
}

namespace {
// The permission bits in octal, as "0600".
std::string ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(st.st_mode & 07777));
  return text;
}
}  // namespace

// The store is the user's alone: the folder it makes is 0700, its lock and
// hive files 0600 (a lock file made readable by an earlier version is closed
// to others; a hive file keeps the mode it has). A write waits for a lock
// another program holds only a bounded while, then fails saying so and
// naming the lock file, and changes nothing; once the lock is free, writes
// go on.
TEST_F(RegistryTest, TheLockIsTheUsersAloneAndAHeldLockIsWaitedForABoundedWhile) {
  const mode_t umaskBefore = umask(022);
  struct RestoreUmask {
    mode_t mask;
    ~RestoreUmask() { umask(mask); }
  } restore{umaskBefore};
  ASSERT_EQ(SetValue(Hive::CurrentUser, "Software\\Locked", "first", Value::Dword(1)), Status::Ok);
  ASSERT_EQ(SetValue(Hive::LocalMachine, "Software\\Locked", "first", Value::Dword(1)), Status::Ok);
  const std::string lockPath = dir_ + "/.lock";
  EXPECT_EQ(ModeOf(dir_), "0700");
  EXPECT_EQ(ModeOf(lockPath), "0600");
  EXPECT_EQ(ModeOf(dir_ + "/HKCU.reg"), "0600");
  EXPECT_EQ(ModeOf(dir_ + "/HKLM.reg"), "0600");

  // Another program's hold: a second open of the file (the lock belongs to
  // the open file), shared as a reader would take it.
  const int holder = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_SH), 0);
  auto write = std::async(std::launch::async, [] {
    const Status s = SetValue(Hive::CurrentUser, "Software\\Locked", "second", Value::Dword(2));
    return std::make_pair(s, LastError());
  });
  if (write.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "a registry write still waited for the held lock file " << lockPath << " after 60 seconds";
    close(holder);
    write.wait();
    return;
  }
  const auto [status, said] = write.get();
  EXPECT_EQ(status, Status::IoError);
  EXPECT_NE(said.find("another program holds the lock file " + lockPath), std::string::npos) << said;
  EXPECT_EQ(GetDword(Hive::CurrentUser, "Software\\Locked", "second"), std::nullopt);
  close(holder);
  EXPECT_EQ(SetValue(Hive::CurrentUser, "Software\\Locked", "second", Value::Dword(2)), Status::Ok);
  EXPECT_EQ(GetDword(Hive::CurrentUser, "Software\\Locked", "second"), 2u);

  ASSERT_EQ(chmod(lockPath.c_str(), 0644), 0);
  ASSERT_EQ(chmod((dir_ + "/HKCU.reg").c_str(), 0644), 0);
  EXPECT_EQ(SetValue(Hive::CurrentUser, "Software\\Locked", "third", Value::Dword(3)), Status::Ok);
  EXPECT_EQ(ModeOf(lockPath), "0600");
  EXPECT_EQ(ModeOf(dir_ + "/HKCU.reg"), "0644");
}
