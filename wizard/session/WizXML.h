// The session album: the wizard's hold on one album of the album document
// model (pictures, music, title lines, TV system, delays, paper size), with
// the conversions between the wizard's enumerations and the model's.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "idl/vexawiz.h"
#include "idl/vexaxml.h"
#include "wizard/session/CoalescedWrite.h"

namespace vexa::wiz {

class WizServices;

// One picture as the wizard passes it around.
class CVexaWizStill {
 public:
  CVexaWizStill(std::string path, std::string title, LONG rotation, DATE creationTime, LONG sizing,
                VARIANT_BOOL isTitleStill)
      : m_path(std::move(path)),
        m_title(std::move(title)),
        m_rotation(rotation),
        m_creationTime(creationTime),
        m_sizing(sizing),
        m_isTitleStill(isTitleStill) {}
  virtual ~CVexaWizStill() = default;

  bool GetStillInfo(std::string* path, std::string* title, LONG* rotation, DATE* creationTime, LONG* sizing,
                    VARIANT_BOOL* isTitleStill) const;
  bool GetStillPath(std::string* path) const;
  bool GetRotation(LONG* rotation) const;

  const std::string& Path() const { return m_path; }
  const std::string& Title() const { return m_title; }
  LONG Rotation() const { return m_rotation; }
  DATE CreationTime() const { return m_creationTime; }
  LONG Sizing() const { return m_sizing; }
  VARIANT_BOOL IsTitleStill() const { return m_isTitleStill; }

 private:
  std::string m_path;
  std::string m_title;
  LONG m_rotation;
  DATE m_creationTime;
  LONG m_sizing;  // 0 resize, 1 crop
  VARIANT_BOOL m_isTitleStill;
};

using StillList = std::vector<std::unique_ptr<CVexaWizStill>>;

class CVexaWizXML {
 public:
  explicit CVexaWizXML(const WizServices& wiz) : m_wiz(wiz) {}
  virtual ~CVexaWizXML() = default;
  CVexaWizXML(const CVexaWizXML&) = delete;
  CVexaWizXML& operator=(const CVexaWizXML&) = delete;

  bool Init(const std::string& path, bool ownFormat);

  bool GetTVSystem(LONG* value);
  bool SetTVSystem(LONG value);
  bool GetPaperSize(LONG* value);
  bool SetPaperSize(LONG value);
  bool GetStillDelay(LONG* seconds);
  bool SetStillDelay(LONG seconds);
  bool GetStillTitleVisibleTime(LONG* seconds);
  bool SetStillTitleVisibleTime(LONG seconds);
  bool GetTitleLines(std::string* line1, std::string* line2, std::string* line3);
  bool SetTitleLines(const std::string& line1, const std::string& line2, const std::string& line3);

  bool AddAudioTrack(const std::string& path, DATE creationTime);
  bool GetFirstAudioTrack(std::string* path, DATE* creationTime, bool* present);
  bool ResetAudios();
  bool ResetStills();

  // sizing is the wizard's: 0 resize, 1 crop.
  bool AddStill(const std::string& path, LONG rotation, DATE creationTime, const std::string& title,
                LONG sizing, VARIANT_BOOL isTitleStill);
  // Makes the album's pictures the listed paths (VT_ARRAY of BSTR) with the
  // rotations at the same positions (VT_ARRAY of 32-bit integers). Each path
  // takes over the first not yet used record of the album with that path,
  // keeping its date, title, sizing and title-picture mark; a new path gets
  // the date 0.0, no title, resize and no mark. Records that drop out are
  // kept and given back to their path when it returns.
  bool AddStills(const VARIANT& paths, const VARIANT& rotations);
  bool GetAllStills(StillList* list);
  bool GetImageCount(LONG* count);
  bool RemoveInvalidStills();
  bool WriteOutSessionXML(const std::string& path);
  // From now on every change of the album is written to path soon after it
  // (CoalescedWrite), so a program that is killed leaves the pictures and
  // settings its last action made.
  void WriteSoonAfterChanges(const std::string& path) { m_writePath = path; }

  IStillsSlideShow1* Album() const { return m_album.Get(); }

 private:
  const WizServices& m_wiz;
  vexa::com::ComPtr<IStillsSlideShow1> m_album;
  vexa::com::ComPtr<IStillsSlideShow1XML> m_mapper;
  vexa::com::ComPtr<ISeqOfAudio> m_audios;
  vexa::com::ComPtr<ISeqOfStillImage> m_stills;
  // Records of pictures that AddStills dropped, so that a picture that comes
  // back (an undone removal) gets its record back too.
  StillList m_retired;
  std::string m_writePath;
  CoalescedWrite m_soon{[this] { WriteOutSessionXML(m_writePath); }};
  // Called by each change that succeeded; returns true for the caller.
  bool Changed() {
    if (!m_writePath.empty()) m_soon.Request();
    return true;
  }
};

}  // namespace vexa::wiz
