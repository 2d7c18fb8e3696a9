// Which back end opens: the environment over the registry over "sg".
#include <gtest/gtest.h>

#include <cstdlib>

#include "idl/ProductKey.h"
#include "platform/base/Path.h"
#include "platform/registry/Registry.h"
#include "platform/scsi/Transport.h"

namespace {

using namespace vexa;

TEST(TransportChoice, EnvironmentOverRegistryOverDefault) {
  const std::string dir = base::MakeTempDir(base::TempDirectory(), "scsichoice");
  setenv("VEXA_REGISTRY_DIR", (dir + "/reg").c_str(), 1);
  unsetenv("VEXA_SCSI_TRANSPORT");
  EXPECT_EQ(scsi::ConfiguredTransportSpec(kProductKey), "sg");
  ASSERT_EQ(reg::SetValue(reg::Hive::LocalMachine, kProductKey, "SCSI_TRANSPORT",
                          reg::Value::String("sim:" + dir)),
            reg::Status::Ok);
  EXPECT_EQ(scsi::ConfiguredTransportSpec(kProductKey), "sim:" + dir);
  setenv("VEXA_SCSI_TRANSPORT", "sim:/elsewhere", 1);
  EXPECT_EQ(scsi::ConfiguredTransportSpec(kProductKey), "sim:/elsewhere");
  unsetenv("VEXA_SCSI_TRANSPORT");

  std::string error;
  auto t = scsi::OpenTransport(scsi::ConfiguredTransportSpec(kProductKey), &error);
  ASSERT_TRUE(t) << error;
  EXPECT_EQ(t->Kind(), "sim");
  EXPECT_EQ(t->DeviceCount(), 1);
  EXPECT_EQ(t->Device(0)->path, dir);

  base::MakeDirs(dir + "/two");
  t = scsi::OpenTransport("sim:" + dir + ";" + dir + "/two", &error);
  ASSERT_TRUE(t) << error;
  EXPECT_EQ(t->DeviceCount(), 2);

  EXPECT_FALSE(scsi::OpenTransport("floppy", &error));
  EXPECT_NE(error.find("unknown SCSI transport"), std::string::npos);
  EXPECT_FALSE(scsi::OpenTransport("sim:", &error));
  EXPECT_FALSE(scsi::OpenTransport("sim:" + dir + "/missing", &error));
  unsetenv("VEXA_REGISTRY_DIR");
  base::RemoveAll(dir);
}

}  // namespace
