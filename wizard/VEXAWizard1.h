// The class behind VEXAWizard1 (not a public header: creators use
// idl/vexawiz.h and class creation).
#pragma once

#include <QPointer>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "idl/vexawiz.h"
#include "wizard/common/WizUtil.h"

class QApplication;

namespace vexa::wiz {

class CvexaPropSheet;
class CVexaWizStill;

class CVEXAWizard1 : public vexa::com::ComObjectRoot,
                     public vexa::com::DispatchImpl<CVEXAWizard1, IVEXAWizard1>,
                     public vexa::com::SupportErrorInfoImpl<IVEXAWizard1> {
 public:
  using Interfaces =
      vexa::com::InterfaceMap<IVEXAWizard1, vexa::com::Via<IDispatch, IVEXAWizard1>, ISupportErrorInfo>;
  static std::span<const vexa::com::DispatchEntry<CVEXAWizard1>> DispatchTable();

  HRESULT FinalConstruct();
  void FinalRelease();

  HRESULT AddAudioTrack(BSTR audioFile, DATE creationTime) override;
  HRESULT AddStill(BSTR stillFile, BSTR stillTitle, DATE creationTime,
                   VEXAWizPictureSizingBehaviour pictureSizingBehaviour, LONG rotateDegrees,
                   VARIANT_BOOL isTitleStill) override;
  HRESULT SetFileSystemSupport(VEXAWizFileSystemSupport fileSystem) override;
  HRESULT SetStillDelay(LONG delay) override;
  HRESULT SetStillTitleVisibleTime(LONG delay) override;
  HRESULT SetTVSystem(VEXAWizTVSystem tvSystem) override;
  HRESULT SetTitleLines(BSTR title1, BSTR title2, BSTR title3) override;
  HRESULT CreateVCD() override;
  HRESULT SetStartScreen(VEXAWizStartScreen startScreen) override;
  HRESULT SetBurnSpeed(LONG burnSpeed) override;
  HRESULT AddImageListFile(BSTR imageListFilePath) override;
  HRESULT AddImageDirectory(BSTR imagedirectoryPath) override;
  HRESULT AddAlbumFile(BSTR albumFilePath, VEXAWizAlbumFormat albumFormat) override;
  HRESULT SetPaperSize(VEXAWizPaperSize paperSize) override;
  HRESULT GetErrorCode(VEXAWizErrorCode* errorCode) override;
  HRESULT Init(BSTR tempDirectory, VARIANT_BOOL doClean) override;
  HRESULT SetDefaultTitle() override;

 private:
  bool CheckImageFile(const std::string& path);
  // False when the user cancelled; *option and *valid as the check found.
  bool CheckAudioFile(const std::string& path, std::string* option, bool* valid);
  bool AddStills(const std::vector<std::unique_ptr<CVexaWizStill>>& list);
  bool DealWithInvalidStills();
  // Clears the stored session's pictures once per object.
  bool ResetStillsOnce();

  // The services this object's parts take: one set per wizard object.
  WizServices m_wiz;
  std::string m_sessionAlbumPath;
  StringArray m_imageExtensions;
  StringArray m_audioExtensions;
  StringArray m_invalidStills;
  bool m_someInvalid = false;
  bool m_someAdded = false;
  bool m_stillsReset = false;
  VEXAWizStartScreen m_startScreen = VEXAWizWelcome;
};

HRESULT CreateVEXAWizard1(REFIID iid, void** ppv);

// Whether the wizard's windows have somewhere to go: an application object
// already made, or a window system Qt can open now (see QtPlatformUsable).
bool WindowSystemUsable();

// A QApplication for the wizard's windows when its host has none.
void EnsureApplication();

}  // namespace vexa::wiz
