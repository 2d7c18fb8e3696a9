// The burn driver: the wizard's only client of the burn orchestrator. It
// creates and initialises the orchestrator, finds the CD writer, reads its
// speeds, description and audio-CD track facts for the pages, and hands the
// session album over in a fixed order for the burn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "idl/vexacore.h"

namespace vexa::wiz {

class WizServices;

class CVexaODVisual {
 public:
  // Resets the wizard's error code to VEXAWizSuccess.
  explicit CVexaODVisual(WizServices& wiz);
  virtual ~CVexaODVisual();
  CVexaODVisual(const CVexaODVisual&) = delete;
  CVexaODVisual& operator=(const CVexaODVisual&) = delete;

  bool Init();
  bool GetDefaultBurnSpeed(LONG* speed) const;
  bool IsDriveReady() const { return m_driveReady; }
  bool GetNextDrive(bool showError);
  bool EnsureDrive(bool showError);
  bool GetDriveSpeeds(std::vector<LONG>* speeds);
  bool GetBurnSpeed(LONG requested, LONG* speed);
  bool GetTrackInfo(const std::string& track, LONG* trackSize, double* playTime, LONG* timeToRip);
  bool GetDrivePath(std::string* text);
  bool GetDriveDescription(std::string* text);
  bool CreateVCD();
  // The disc engine's estimate of the image a disc of these pictures would
  // make, and the room of the largest disc it writes, in sectors; false
  // (logged) when the orchestrator cannot tell.
  bool EstimateImage(const std::vector<std::string>& stills, bool titleStill, LONG stillDelay, const std::string& music,
                     std::int64_t* sectors, std::int64_t* discSectors);

  bool SetFileSystemSupport(LONG value);
  bool SetTVSystem();
  bool SetStillDelay();
  bool SetStillTitleVisibleTime();
  bool SetTitleLines();
  bool SetPaperSize();
  bool AddAudioTrack();
  bool AddStills();
  bool SetBurnSpeed();

  IVEXACore1* Core() const { return m_core.Get(); }

 private:
  WizServices& m_wiz;
  LONG m_defaultBurnSpeed = 2;
  bool m_driveReady = false;
  vexa::com::ComPtr<IVEXACore1> m_core;
};

// Replaces every run of four blanks, then three, then two, by one blank.
std::string CollapseBlanks(std::string text);

}  // namespace vexa::wiz
