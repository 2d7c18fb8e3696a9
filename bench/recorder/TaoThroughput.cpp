// Track-at-once throughput: a 650 MB audio track of silence written through
// the drive object to the simulated recorder (the image stays sparse), timed
// from StartTAO to FinishTAO, against the 75 x 52 sectors a second a 52x
// drive takes.
//
//   recorder-tao-bench [MEGABYTES]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "disclib/recorder/CDR4BASE.h"
#include "disclib/recorder/ComsInternal.h"
#include "platform/base/Path.h"

int main(int argc, char** argv) {
  const long megabytes = argc > 1 ? std::atol(argv[1]) : 650;
  const std::string dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "taobench");
  vexa::base::WriteFileAtomic(dir + "/drive.conf", "profile = cdrw-writer\ncapacity = 2000000\n");
  setenv("VEXA_SCSI_TRANSPORT", ("sim:" + dir).c_str(), 1);
  setenv("VEXA_REGISTRY_DIR", (dir + "/registry").c_str(), 1);
  I_CDRClass* drive = CDR4_CreateDrive(0);
  if (!drive) {
    std::fprintf(stderr, "no simulated drive\n");
    return 1;
  }
  const long sectors = megabytes * 1000 * 1000 / 2352;
  std::vector<BYTE> block(2352 * 16, 0);
  const auto t0 = std::chrono::steady_clock::now();
  if (drive->StartTAO(255, CDR_TRACK_AUDIO, 0, nullptr, nullptr) != 0) return 1;
  for (long done = 0; done < sectors; done += 16) {
    if (drive->WriteTAO(2352, static_cast<LONG>(std::min<long>(16, sectors - done)), block.data()) != 0) break;
  }
  const LONG finished = drive->FinishTAO();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  CDR4_DeleteDrive(drive);
  discpak::ComsInstallTransport(nullptr);
  vexa::base::RemoveAll(dir);
  if (finished != 0) {
    std::fprintf(stderr, "the track failed\n");
    return 1;
  }
  const double rate = sectors / seconds;
  std::printf("wrote %ld sectors (%ld MB) in %.2f s: %.0f sectors/s, %.1f times the %d sectors/s of a 52x drive\n",
              sectors, megabytes, seconds, rate, rate / 3900.0, 3900);
  return 0;
}
