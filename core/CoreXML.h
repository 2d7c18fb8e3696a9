// CVexaCoreXML: the album the orchestrator builds, kept as an album document
// of vexaxml, with plain getters and setters over it. Every failure is one
// reported text (CVexaCoreUtil::ReportFailure) and a false result.
#pragma once

#include <string>
#include <vector>

#include "core/CoreUtil.h"
#include "idl/vexacore.h"
#include "idl/vexaxml.h"

namespace vexa::core {

// One still of the album, as GetAllStills hands it out.
struct StillEntry {
  std::string fullResPath;       // odFullResFilename, or originalFilename when empty
  std::string originalFilename;
  std::string title;
  LONG rotation = 0;             // degrees
  DATE creationTime = 0.0;
  VEXACorePictureSizingBehaviour sizingBehaviour = VEXACoreResizePicture;
  VARIANT_BOOL isTitleStill = VARIANT_FALSE;
};

class CVexaCoreXML {
 public:
  explicit CVexaCoreXML(CVexaCoreUtil& util) : util_(util) {}
  virtual ~CVexaCoreXML() = default;
  CVexaCoreXML(const CVexaCoreXML&) = delete;
  CVexaCoreXML& operator=(const CVexaCoreXML&) = delete;

  // An empty path starts a new, empty album; otherwise the file is loaded in
  // the format given (VEXACoreXML or VEXACoreCueXML).
  bool Init(const std::string& albumFilePath, LONG albumFormat);

  bool SetPaperSize(LONG paperSize);
  bool GetPaperSize(LONG* paperSize);
  bool SetTVSystem(LONG tvSystem);
  bool GetTVSystem(LONG* tvSystem);
  // Seconds. A stored value of 1000 or more comes from an album written in
  // milliseconds and is read as such.
  bool SetStillDelay(LONG seconds);
  bool GetStillDelay(LONG* seconds);
  bool SetStillTitleVisibleTime(LONG seconds);
  bool GetStillTitleVisibleTime(LONG* seconds);
  bool SetTitleLines(const std::u16string& line1, const std::u16string& line2, const std::u16string& line3);
  bool GetTitleLines(std::u16string* line1, std::u16string* line2, std::u16string* line3);
  bool ResetAudios();
  bool ResetStills();
  bool AddAudioTrack(const std::string& fullResPath, const std::string& sourceName, DATE creationTime);
  bool AddStill(const std::string& fullResPath, const std::string& sourceName, LONG rotation,
                DATE creationTime, BSTR title, LONG sizing, VARIANT_BOOL isTitleStill);
  // The same with the title as plain text (UTF-8; empty: none).
  bool AddStill(const std::string& fullResPath, const std::string& sourceName, LONG rotation,
                DATE creationTime, const std::string& title, LONG sizing, std::int16_t isTitleStill);
  // Appends every still to list (entries appended before a failure stay).
  bool GetAllStills(std::vector<StillEntry>* list);
  // Outputs untouched when the album has no audio.
  bool GetFirstAudioTrack(std::string* fullResPath, std::string* sourceName, DATE* creationTime);
  // The names of every audio item, in order: each one's source name, or its
  // working path when it has none.
  bool GetAudioNames(std::vector<std::string>* names);

  IStillsSlideShow1* Album() const { return album_.Get(); }

 private:
  static LONG FromStoredSeconds(LONG stored);

  CVexaCoreUtil& util_;
  ComPtr<IStillsSlideShow1> album_;
  ComPtr<ISeqOfAudio> audios_;
  ComPtr<ISeqOfStillImage> stills_;
};

}  // namespace vexa::core
