// VCDClassISOFormat: the data track of a Video CD 2.0 disc, laid out on the
// ISO 9660 manager and streamed as 2332-byte units by a layout thread
// through a bounded queue. The layout thread is a work run (WorkRun.h):
// FinishImage cancels it and waits for it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "disclib/vcd/InfoVcd.h"
#include "disclib/vcd/Sectors.h"
#include "disclib/vcd/VCDClasses.h"
#include "platform/base/Queue.h"
#include "platform/base/WinTypes.h"
#include "platform/base/WorkRun.h"

namespace isofs {
class I_CD_SessionMaster;
}

namespace vexa::vcd {

// Where everything of the image lies, computed from the sizes before a
// byte is written.
struct VCDImagePlan {
  std::vector<std::uint32_t> fileStart;
  bool segments = false;
  std::uint32_t segmentsStart = 0;
  struct Segment {
    std::uint32_t start;
    std::vector<std::uint32_t> itemSectors;  // sectors of data in each play item
  };
  std::vector<Segment> segment;
  std::uint32_t track1Sectors = 0;
  struct Track {
    std::uint32_t start;
    VCDMpegTrackSectors sectors;
  };
  std::vector<Track> track;
};

// Sizes in bytes of the files, segments and MPEG tracks, in table order.
VCDImagePlan PlanVCDImage(const std::vector<std::uint64_t>& fileSizes, const std::vector<std::uint64_t>& segmentSizes,
                          const std::vector<std::uint64_t>& trackSizes);

class VCDClassISOFormat final : public I_VCDClassISOFormat {
 public:
  static constexpr std::size_t kMaxFiles = 12000;
  static constexpr std::size_t kMaxTracks = 98;
  static constexpr int kMaxPlayItems = 1980;
  static constexpr std::uint32_t kSegmentItemBytes = 348600;  // 150 sectors of 2324 bytes
  static constexpr std::uint32_t kMaxStructureSectors = 999;
  static constexpr std::size_t kVolumeRecordBytes = 752;

  VCDClassISOFormat();
  ~VCDClassISOFormat() override;

  std::int32_t SetFileSystemType(std::int32_t type) override;
  void SetVolumeInfo(const std::uint8_t* record) override;
  std::int32_t AddFile(const char* source, const char* isoPath, const void* date16, const char* altName) override;
  std::int32_t AddFileW(const char16_t* source, const char16_t* isoPath, const void* date16,
                        const char16_t* altName) override;
  std::int32_t AddHardLink(const char* source, const char* linkPath, const void* date16) override;
  std::int32_t AddHardLinkW(const char16_t* source, const char16_t* linkPath, const void* date16) override;
  std::int32_t AddDualFile(const char* source1, const char* source2, const char* isoPath, const void* date16) override;
  std::int32_t AddDualFileW(const char16_t* source1, const char16_t* source2, const char16_t* isoPath,
                            const void* date16) override;
  std::int32_t AddVCDTrack(const char* mpegFile, std::int32_t flag) override;
  std::int32_t AddVCDTrackW(const char16_t* mpegFile, std::int32_t flag) override;
  std::int32_t LinkVCDTrack(std::int32_t trackNumber, const char* name) override;
  std::int32_t LinkVCDTrackW(std::int32_t trackNumber, const char16_t* name) override;
  std::int32_t AddVCDSegment(const char* file, std::int32_t contentByte) override;
  std::int32_t AddVCDSegmentW(const char16_t* file, std::int32_t contentByte) override;
  std::int32_t LinkVCDSegment(std::int32_t segmentNumber, const char* name) override;
  std::int32_t LinkVCDSegmentW(std::int32_t segmentNumber, const char16_t* name) override;
  std::int32_t SetLOTPSDFiles(const char* lotFile, const char* psdFile, std::uint16_t maxListId) override;
  std::int32_t SetLOTPSDFilesW(const char16_t* lotFile, const char16_t* psdFile, std::uint16_t maxListId) override;
  std::int32_t GetISOTrackSectors() override;
  std::int32_t StartImage() override;
  std::int32_t ReadSectors(std::int32_t count, std::uint8_t* buffer) override;
  std::int32_t FinishImage() override;
  std::int32_t GetTotalSectors() override;
  const char* GetError() override;

  std::int32_t fileSystemType() const { return fsType_; }
  // The plan from the sizes recorded when things were added.
  VCDImagePlan RecordedPlan() const;

 private:
  struct Date {
    bool given = false;
    std::array<std::uint16_t, 8> words{};
  };
  struct FileEntry {
    std::string source, isoPath, altName;
    Date date;
    std::uint64_t size = 0;
    int type = 0;  // 0 plain, 1 first of a dual pair, 2 second
  };
  struct Link {
    std::string path;
    Date date;
    std::size_t file;
  };
  struct Track {
    std::string path;
    std::int32_t flag;
    std::uint64_t size;
  };
  struct Segment {
    std::string path;
    int firstItem;
    std::uint64_t size;
    std::uint8_t content;
    int items;
  };

  static Date ToDate(const void* date16);
  bool AddFileInternal(const char* source, const char* isoPath, const void* date16, const char* altName, int type);

  // The image pass, in three phases: MeasureInputs measures every input
  // again and plans the image from the sizes; BuildFileSystem makes INFO.VCD,
  // ENTRIES.VCD and the file system on the ISO 9660 manager from the plan;
  // StreamTrack writes the track's units in sector order. Each phase fails
  // with the run state that says why (an input, a fault of our own, a stop).
  struct ImageInputs {
    std::vector<std::uint64_t> fileSizes;  // in file-table order
    std::vector<Segment> segments;
    std::optional<std::uint64_t> lotSize, psdSize;
    VCDImagePlan plan;
  };
  struct FileSystem {
    SectorData infoSector{}, entriesSector{};
    std::vector<std::uint8_t> head;        // sectors 0-149: the descriptors
    std::vector<std::uint8_t> structures;  // from sector 300: path tables, directories
  };
  // The run's body: the three phases; answers the run's state.
  std::int32_t MakeImage();
  bool MeasureInputs(ImageInputs* in);
  bool BuildFileSystem(const ImageInputs& in, FileSystem* fs);
  void MakeSystemFiles(const ImageInputs& in, FileSystem* fs) const;
  void DescribeVolume(isofs::I_CD_SessionMaster* dm, const SYSTEMTIME& now) const;
  bool StreamTrack(const ImageInputs& in, const FileSystem& fs);
  // Notes why the image failed (the first reason is kept) and the run's state.
  bool Fail(base::WorkState state, const std::string& why);
  bool WriteUnit(const Unit& unit);
  // A data sector; submodeBits are added to its subheader's submode (the
  // end-of-record and end-of-file bits).
  bool WriteForm1(const std::uint8_t* data, std::uint8_t submodeBits = 0);
  // A file's sectors; its last one gets lastSubmodeBits.
  bool WriteFileForm1(const std::string& path, std::uint64_t size, const std::string& what,
                      std::uint8_t lastSubmodeBits = 0);
  bool WriteSegment(const Segment& s, const VCDImagePlan::Segment& plan);

  std::int32_t fsType_ = 0;
  std::optional<std::array<std::uint8_t, kVolumeRecordBytes>> volume_;
  std::vector<FileEntry> files_;
  std::vector<Link> links_;
  std::vector<Track> tracks_;
  std::array<std::string, 100> trackNames_;
  std::vector<Segment> segments_;
  std::vector<std::string> segmentNames_;
  std::string lotFile_, psdFile_;
  std::uint16_t maxListId_ = 0;
  std::string albumId_;

  // The image pass: the stream's queue and the run of the layout thread
  // (its units of work are the track's sectors).
  std::unique_ptr<base::ClosableQueue<Unit>> queue_;
  std::uint32_t position_ = 0;  // next sector the layout thread writes
  mutable std::mutex errorMutex_;
  std::string error_;
  std::string errorCopy_;
  base::WorkRun run_;  // last: it is stopped and joined before the rest goes
};

}  // namespace vexa::vcd
