#include "platform/scsi/SgTransport.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

namespace vexa::scsi {

namespace fs = std::filesystem;

int SgSystem::Open(const char* path, int flags) { return ::open(path, flags); }
int SgSystem::Close(int fd) { return ::close(fd); }
int SgSystem::Ioctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }

SgSystem& SgSystem::Real() {
  static SgSystem real;
  return real;
}

std::string BusTextForDriver(const std::string& procName) {
  static const char* const kAtaOrUsb[] = {"ata", "ahci", "pata", "sata", "ide", "usb-storage", "uas"};
  for (const char* p : kAtaOrUsb) {
    if (procName.rfind(p, 0) == 0) return "IDE//USB";
  }
  return "SCSI";
}

namespace {

// SG_IO's host and driver status values that the mapping below looks at.
constexpr int kDidTimeOut = 0x03;
constexpr int kDriverSense = 0x08;
constexpr int kDriverTimeout = 0x06;
constexpr int kMaxDevices = 64;
constexpr int kSenseBufferSize = 64;

std::string ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ' || line.back() == '\r')) {
    line.pop_back();
  }
  return line;
}

// "2:0:1:0" -> host, channel, target, lun.
bool ParseHctl(const std::string& name, int* h, int* c, int* t, int* l) {
  return std::sscanf(name.c_str(), "%d:%d:%d:%d", h, c, t, l) == 4;
}


class SgTransport final : public Transport {
 public:
  SgTransport(const SgOptions& options, std::vector<DeviceInfo> devices)
      : system_(options.system ? *options.system : SgSystem::Real()),
        devices_(std::move(devices)),
        fds_(devices_.size(), -1),
        errors_(devices_.size(), 0) {}

  ~SgTransport() override {
    for (int fd : fds_) {
      if (fd >= 0) system_.Close(fd);
    }
  }

  std::string Kind() const override { return "sg"; }
  int DeviceCount() const override { return static_cast<int>(devices_.size()); }
  const DeviceInfo* Device(int n) const override {
    return n >= 0 && n < DeviceCount() ? &devices_[n] : nullptr;
  }

  Result Execute(int device, const Command& command) override {
    Result r;
    if (!Device(device) || !command.cdb || command.cdbLength <= 0 || command.cdbLength > 16 ||
        (command.length && !command.data)) {
      r.sysError = EINVAL;
      return r;
    }
    const int fd = Descriptor(device);
    if (fd < 0) {
      r.sysError = errno ? errno : ENODEV;
      return r;
    }
    std::uint8_t senseBuffer[kSenseBufferSize] = {};
    std::uint8_t cdb[16] = {};
    std::memcpy(cdb, command.cdb, command.cdbLength);
    sg_io_hdr_t hdr;
    std::memset(&hdr, 0, sizeof hdr);
    hdr.interface_id = 'S';
    hdr.cmd_len = static_cast<unsigned char>(command.cdbLength);
    hdr.cmdp = cdb;
    hdr.mx_sb_len = sizeof senseBuffer;
    hdr.sbp = senseBuffer;
    hdr.timeout = command.timeoutMs;
    hdr.dxfer_len = command.length;
    hdr.dxferp = command.data;
    switch (command.length ? command.direction : Direction::None) {
      case Direction::None: hdr.dxfer_direction = SG_DXFER_NONE; break;
      case Direction::In: hdr.dxfer_direction = SG_DXFER_FROM_DEV; break;
      case Direction::Out: hdr.dxfer_direction = SG_DXFER_TO_DEV; break;
    }
    if (system_.Ioctl(fd, SG_IO, &hdr) < 0) {
      r.sysError = errno ? errno : EIO;
      return r;
    }
    r.status = hdr.status;
    r.hostStatus = hdr.host_status;
    r.driverStatus = hdr.driver_status & ~kDriverSense;
    if (hdr.host_status == kDidTimeOut || (hdr.driver_status & 0x0F) == kDriverTimeout) {
      r.timedOut = true;
    }
    // Sense: only what the driver says it wrote, never beyond our buffer.
    const int senseLength = std::min<int>(hdr.sb_len_wr, sizeof senseBuffer);
    if (senseLength > 0 && (r.status == 2 || (hdr.driver_status & kDriverSense))) {
      r.senseValid = ToFixedSense(senseBuffer, senseLength, r.sense);
      // Some drivers report the sense without the CHECK CONDITION status.
      if (r.senseValid && r.status == 0 && (r.sense[2] & 0x0F) != 0) r.status = 2;
    }
    // Residue: a value outside 0..length cannot be believed; the transfer is
    // then reported as failed rather than guessed at.
    if (hdr.resid < 0 || static_cast<std::uint32_t>(hdr.resid) > command.length) {
      r.transferred = 0;
      if (r.Ok()) r.sysError = EIO;
    } else {
      r.transferred = command.length - static_cast<std::uint32_t>(hdr.resid);
    }
    if (command.direction == Direction::In && command.data && r.transferred < command.length) {
      std::memset(command.data + r.transferred, 0, command.length - r.transferred);
    }
    return r;
  }

  // The node is this program's from its first use to the transport's end
  // (O_EXCL): a blocking request, on or off, changes nothing of that, so
  // the writer stays held for the whole run. True when the node is held.
  bool SetExclusive(int device, bool exclusive) override {
    (void)exclusive;
    return Device(device) && Descriptor(device) >= 0;
  }

  bool SetDeviceMode(int, bool) override { return false; }
  bool CheckDeviceMode(int) override { return false; }

  std::string Problem(int device) const override {
    if (!Device(device) || fds_[device] >= 0 || errors_[device] == 0) return {};
    const std::string& path = devices_[device].path;
    if (errors_[device] == EBUSY) return "the writer " + path + " is busy: another program is using it";
    return "cannot open " + path + ": " + std::strerror(errors_[device]);
  }

 private:
  // The node is opened exclusively and kept open: the drive is this
  // program's until the transport ends, and another program's open finds it
  // busy.
  int Descriptor(int device) {
    if (fds_[device] >= 0) return fds_[device];
    const char* path = devices_[device].path.c_str();
    const int excl = O_EXCL;
    int fd = system_.Open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC | excl);
    if (fd < 0 && errno != EBUSY) fd = system_.Open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | excl);
    errors_[device] = fd < 0 ? (errno ? errno : ENODEV) : 0;
    fds_[device] = fd;
    if (fd < 0) errno = errors_[device];
    return fd;
  }

  SgSystem& system_;
  std::vector<DeviceInfo> devices_;
  std::vector<int> fds_;
  std::vector<int> errors_;  // errno of the last failed open, per device
};

std::vector<DeviceInfo> Discover(const SgOptions& options) {
  std::vector<DeviceInfo> found;
  const fs::path sys(options.sysfsRoot);
  auto scan = [&](const fs::path& classDir, bool blockClass) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(classDir, ec)) {
      const std::string name = entry.path().filename().string();
      if (blockClass && name.rfind("sr", 0) != 0) continue;
      const fs::path deviceLink = entry.path() / "device";
      std::error_code ec2;
      const fs::path deviceDir = fs::canonical(deviceLink, ec2);
      if (ec2) continue;
      DeviceInfo info;
      if (!ParseHctl(deviceDir.filename().string(), &info.host, &info.channel, &info.target,
                     &info.lun)) {
        continue;
      }
      const std::string type = ReadLine(deviceDir / "type");
      if (type != "4" && type != "5") continue;
      info.type = std::stoi(type);
      info.path = (fs::path(options.devRoot) / name).string();
      info.busText = BusTextForDriver(
          ReadLine(sys / "class" / "scsi_host" / ("host" + std::to_string(info.host)) / "proc_name"));
      found.push_back(info);
    }
  };
  scan(sys / "class" / "scsi_generic", false);
  if (found.empty()) scan(sys / "class" / "block", true);
  std::sort(found.begin(), found.end(), [](const DeviceInfo& a, const DeviceInfo& b) {
    return std::tie(a.host, a.channel, a.target, a.lun) <
           std::tie(b.host, b.channel, b.target, b.lun);
  });
  if (found.size() > kMaxDevices) found.resize(kMaxDevices);
  return found;
}

}  // namespace

std::unique_ptr<Transport> OpenSgTransport(const SgOptions& options) {
  return std::make_unique<SgTransport>(options, Discover(options));
}

bool ToFixedSense(const std::uint8_t* in, std::size_t length, std::uint8_t out[kSenseSize]) {
  std::memset(out, 0, kSenseSize);
  if (!in || length < 1) return false;
  const int code = in[0] & 0x7F;
  if (code == 0x70 || code == 0x71) {
    std::memcpy(out, in, std::min(length, kSenseSize));
    out[0] = static_cast<std::uint8_t>(code);
    return true;
  }
  if (code != 0x72 && code != 0x73) return false;
  // Descriptor format: key, ASC, ASCQ in bytes 1-3; descriptors from byte 8,
  // their total length in byte 7, each with its own length in its byte 1.
  out[0] = code == 0x72 ? 0x70 : 0x71;
  out[7] = 10;  // additional sense length of the fixed layout
  if (length > 1) out[2] = in[1] & 0x0F;
  if (length > 2) out[12] = in[2];
  if (length > 3) out[13] = in[3];
  const std::size_t total = length > 7 ? std::min<std::size_t>(length, 8u + in[7]) : length;
  std::size_t at = 8;
  while (at + 2 <= total) {
    const std::uint8_t type = in[at];
    const std::size_t descLength = 2u + in[at + 1];
    if (at + descLength > total) break;
    if (type == 0x00 && descLength >= 12) {
      // Information: the low 32 bits go to bytes 3-6, VALID set.
      std::memcpy(out + 3, in + at + 8, 4);
      if (in[at + 2] & 0x80) out[0] |= 0x80;
    } else if (type == 0x02 && descLength >= 7) {
      // Sense-key specific: bytes 15-17.
      std::memcpy(out + 15, in + at + 4, 3);
    } else if (type == 0x04 && descLength >= 4) {
      // Stream commands: filemark, EOM and ILI bits go to byte 2.
      out[2] |= in[at + 3] & 0xE0;
    }
    at += descLength;
  }
  return true;
}

void MakeSense(std::uint8_t out[kSenseSize], int key, int asc, int ascq) {
  std::memset(out, 0, kSenseSize);
  out[0] = 0x70;
  out[2] = static_cast<std::uint8_t>(key & 0x0F);
  out[7] = 10;
  out[12] = static_cast<std::uint8_t>(asc);
  out[13] = static_cast<std::uint8_t>(ascq);
}

}  // namespace vexa::scsi
