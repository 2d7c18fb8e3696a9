// The storyboard's ports (StoryboardPorts.h) over the component objects:
// the album model of vexaxml and the image utility. A failure's text is the
// component's error description, taken from the thread at once.
#pragma once

#include <string>

#include "engine/StoryboardPorts.h"
#include "idl/VEXAImg.h"
#include "idl/vexaxml.h"
#include "platform/com/Com.h"

namespace vexa::engine {

// A calendar time as the interfaces' dates hold it.
inline DATE VariantDate(const SYSTEMTIME& t) {
  DATE d = 0;
  SystemTimeToVariantTime(&t, &d);
  return d;
}

// The album manifest and the lists of it the storyboard fills.
class ComAlbum : public AlbumPort {
 public:
  ComAlbum(com::ComPtr<IStillsSlideShow1> album, com::ComPtr<IStillsSlideShow1XML> mapper,
           com::ComPtr<ISeqOfStillImage> stills, com::ComPtr<ISeqOfAudio> audios, com::ComPtr<ITitleSlide> titleSlide);

  bool PutStillDelay(LONG seconds, std::string* why) override;
  bool PutStillTitleVisibleTime(LONG seconds, std::string* why) override;
  bool PutTVSystem(LONG system, std::string* why) override;
  bool PutPaperSize(LONG paperSize, std::string* why) override;
  bool PutTitleLine(int line, const std::string& text, std::string* why) override;
  bool AddAudio(const AudioRecord& audio, std::string* why) override;
  bool AddStill(const AlbumStill& still, std::string* why) override;
  bool RebuildAudios(const AudioRecord* audios, std::size_t count) override;
  bool RebuildStills(const AlbumStill* stills, std::size_t count) override;

  // Writes the album manifest to a file; S_OK or the mapper's failure
  // with its error information in place.
  HRESULT StoreToFile(const std::string& file);
  IStillsSlideShow1* Album() const { return album_.Get(); }

 private:
  com::ComPtr<IStillsSlideShow1> album_;
  com::ComPtr<IStillsSlideShow1XML> mapper_;
  com::ComPtr<ISeqOfStillImage> stills_;
  com::ComPtr<ISeqOfAudio> audios_;
  com::ComPtr<ITitleSlide> titleSlide_;
};

// The engine's routines for the picture records and identifiers, handed to
// the tools by the engine that owns them.
struct RecordRoutines {
  HRESULT (*storeRecord)(const std::string& jpegFile, const std::string& identifier, LONG resolution,
                         std::string* error);
  HRESULT (*recordBytes)(const std::string& identifier, LONG resolution, std::string* bytes, std::string* error);
  std::string (*guidText)(const GUID& g);
};

// The image utility, the picture records and identifiers.
class ComStillTools : public StillTools {
 public:
  ComStillTools(com::ComPtr<IVEXAImgUtil> util, const RecordRoutines& records);

  bool GetStillInfo(const std::string& file, PictureInfo* out, std::string* why) override;
  bool IsSupportedInput(LONG type, bool* supported, std::string* why) override;
  bool CreateDerivatives(const std::string& original, LONG rotateDegrees, const std::string& albumFile,
                         const std::string& thumbFile, LONG thumbBox, const std::string& webFile, LONG webBox,
                         Derivatives* out, std::string* why) override;
  bool ResizeStill(const std::string& source, const std::string& destination, LONG width, LONG height,
                   std::string* why) override;
  bool CropStill(const std::string& source, const std::string& destination, LONG left, LONG top, LONG right,
                 LONG bottom, std::string* why) override;
  bool CreateTitleStill(const std::array<std::string, 3>& lines, const std::string& file, bool ntsc) override;
  bool StoreRecord(const std::string& jpegFile, const std::string& identifier, LONG resolution,
                   std::string* why) override;
  bool NewIdentifier(std::string* out) override;
  bool WritesRecordsWithFiles() const override { return native_.Get() != nullptr; }
  bool RecordBytes(const std::string& identifier, LONG resolution, std::string* bytes, std::string* why) override;
  bool CreateDerivativesWithRecords(const std::string& original, LONG rotateDegrees, const std::string& albumFile,
                                    const std::string& albumRecord, const std::string& thumbFile,
                                    const std::string& thumbRecord, LONG thumbBox, const std::string& webFile,
                                    const std::string& webRecord, LONG webBox, LONG keepLongSide, Derivatives* out,
                                    std::string* why) override;
  bool CopyWithRecord(const std::string& source, const std::string& destination, const std::string& record,
                      bool* copied, std::string* why) override;

 private:
  com::ComPtr<IVEXAImgUtil> util_;
  com::ComPtr<IVEXAImgUtilNative> native_;  // none: the utility has no native calls
  RecordRoutines records_;
};

}  // namespace vexa::engine
