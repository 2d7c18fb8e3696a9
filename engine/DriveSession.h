// The engine's drive session: the current drive of the recorder layer and
// what the engine asks of drives — finding a writer, the disc's type and
// room, the write speeds, the checks before a burn, erasing, and reading an
// audio-CD track into a WAV file. A plain part: UTF-8 texts and plain
// results (EngineResult.h); the COM class hands out its drive view and
// converts at its edge.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DriveAccess.h"
#include "engine/EngineResult.h"

namespace vexa::engine {

// Capability bits of a drive (the interface's drive capabilities, number
// for number).
namespace caps {
inline constexpr std::int32_t kCDDA = 1;
inline constexpr std::int32_t kCDR = 64;
inline constexpr std::int32_t kWriteTAO = 256;
}  // namespace caps

// What a disc in the drive is (the interface's disc types, number for
// number).
enum class DiscKind : std::int32_t { kROM = 1, kR = 2, kRW = 3, kNotCd = 4 };

// The figures of an audio-CD track.
struct TrackFigures {
  std::int32_t trackSize = 0;  // bytes of the WAV file
  double playTime = 0;         // seconds
  std::int32_t timeToRip = 0;  // seconds
};

class DriveSession {
 public:
  // A drive object, deleted through the layer that made it.
  struct DriveDeleter {
    DriveAccess* drives;
    void operator()(DriveHandle* d) const {
      if (d && drives) drives->DeleteDrive(d);
    }
  };
  using DrivePtr = std::unique_ptr<DriveHandle, DriveDeleter>;

  // The speed operations' answer for "none".
  static constexpr std::int32_t kNoSpeed = 1024;

  // drives: the recorder layer (null when there is none).
  void Bind(DriveAccess* drives);
  DriveAccess* drives() const { return drives_; }

  // The current drive: null before one was chosen.
  DriveHandle* current() const { return drive_.get(); }
  std::int32_t number() const { return number_; }
  // Makes a drive current; the old one is deleted. Whoever uses the old
  // drive (the image builder's worker) must be done with it first.
  void MakeCurrent(DrivePtr drive, std::int32_t number);
  // Deletes the current drive.
  void Release();

  // The first writer from device `first` on (wrapping after 255); null
  // when there is none, with *problem the layer's reason, if it knows one.
  DrivePtr FindWriter(int first, int* number, std::string* problem);
  // The drive of a device number that can write track at once; the
  // failures are those of IVEXADriveMgr::GetDrive.
  Result OpenWriter(std::int32_t number, DrivePtr* out);

  // ---- The current drive ----
  // READ DISC INFORMATION into 32 bytes; false when the drive failed.
  bool ReadDiscInformation(std::uint8_t* info);
  // What the disc is; refused with its text when the drive cannot say.
  Result ReadDiscKind(DiscKind* out);
  // A disc that can still be written from its start.
  Result IsDiscBlank(bool* out);
  // Refuses a disc that is no CD (a DVD): nothing written to it could
  // play. A disc that cannot be read is left to the burn to find.
  Result CheckDiscIsCd();
  // The drive's highest write speed (the current speed is put back).
  std::int32_t MaxBurnSpeed();
  // The write speeds the drive takes: 1 and the even ones up to the highest.
  std::vector<std::int32_t> WriteSpeeds();
  // The speed a burn asked for at most maxSpeed runs at: that speed when
  // the drive has it, else (or for none) the drive's highest.
  std::int32_t BurnSpeed(std::int32_t maxSpeed);
  // Before the first write command: the image must fit the disc's free
  // space, or the disc is left as it is. imageEnd: the address after the
  // image when it starts at the next writable address.
  // method: the interface method the refusal names.
  Result CheckRoomForImage(const std::function<std::int64_t(std::int32_t)>& imageEnd,
                           const char* method = "IVEXABurner::StartBurn");
  static std::string DiscTooSmallMessage(std::int64_t neededSectors, std::int64_t freeSectors,
                                         const char* method = "IVEXABurner::StartBurn");
  // Blanks the disc; the drive's refusal is a failure with its reason.
  Result Erase(bool full);

  // ---- Audio-CD tracks ("<drive path>/Track01.cda") ----
  // The track's figures. `method` names the calling interface method.
  Result TrackInfo(const char* method, std::string_view cdaFile, TrackFigures* out);
  // Reads the track into a WAV file. The file appears only when the whole
  // track was read: a failed read leaves nothing behind.
  Result ReadTrack(const char* method, std::string_view cdaFile, const std::string& wavFile);

 private:
  // Finds the drive of a track name and the track's first sector and
  // length: the current drive when its path matches, else one made for the
  // search (handed to *owned).
  Result FindTrack(const char* method, std::string_view cdaFile, DrivePtr* owned, DriveHandle** drive,
                   std::int32_t* start, std::int32_t* sectors);

  DriveAccess* drives_ = nullptr;
  DrivePtr drive_{nullptr, DriveDeleter{nullptr}};
  std::int32_t number_ = -1;
};

}  // namespace vexa::engine
