// The storyboard interface: each method converts its arguments, hands them
// to the storyboard (Storyboard.h) and reports its plain result.
#include "engine/Engine.h"
#include "platform/base/Text.h"

namespace vexa::engine {

namespace {

std::string Narrow(BSTR s) { return s ? base::Utf16ToUtf8(std::u16string_view(s, SysStringLen(s))) : std::string(); }

}  // namespace

HRESULT CVEXAVCDEngine::SetStillDelay(LONG newVal) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::SetStillDelay";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  return Report(kMethod, story_->SetStillDelay(newVal));
}

HRESULT CVEXAVCDEngine::SetStillTitleVisibleTime(LONG newVal) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::SetStillTitleVisibleTime";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  return Report(kMethod, story_->SetStillTitleVisibleTime(newVal));
}

HRESULT CVEXAVCDEngine::SetTVSystem(VEXATVSystem newVal) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::SetTVSystem";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  return Report(kMethod, story_->SetTVSystem(newVal));
}

HRESULT CVEXAVCDEngine::SetFileSystemSupport(VEXAFileSystemSupport newVal) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::SetFileSystemSupport";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  return Report(kMethod, story_->SetFileSystemSupport(newVal));
}

HRESULT CVEXAVCDEngine::SetTitleLines(BSTR line1, BSTR line2, BSTR line3) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::SetTitleLines";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  return Report(kMethod, story_->SetTitleLines({Narrow(line1), Narrow(line2), Narrow(line3)}));
}

HRESULT CVEXAVCDEngine::SetPaperSize(VEXAPaperSize paperSize) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::SetPaperSize";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  return Report(kMethod, story_->SetPaperSize(paperSize));
}

HRESULT CVEXAVCDEngine::AddAudioTrack(BSTR audioFile, DATE destCtime) {
  static constexpr char kMethod[] = "IVEXAStoryBoardStillsSlideshow1::AddAudioTrack";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  return Report(kMethod, story_->AddAudioTrack(Narrow(audioFile), GivenTime(destCtime)));
}

HRESULT CVEXAVCDEngine::AddFile(BSTR sourceFile, BSTR dest8dot3Path, BSTR destJolietPath, DATE destCtime) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::AddFile";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  return Report(kMethod, story_->AddFile(Narrow(sourceFile), Narrow(dest8dot3Path), Narrow(destJolietPath), GivenTime(destCtime)));
}

HRESULT CVEXAVCDEngine::AddStill(BSTR stillFile, BSTR srcPath, BSTR stillTitle, DATE destCtime,
                                 VEXAPictureSizingBehaviour pictureSizingBehaviour, LONG rotateDegrees,
                                 VARIANT_BOOL isTitleStill, BSTR thumbPath, DATE thumbCtime) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::AddStill";
  (void)thumbPath;
  (void)thumbCtime;
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  StillRequest request;
  request.file = Narrow(stillFile);
  request.source = Narrow(srcPath);
  request.title = Narrow(stillTitle);
  request.destTime = GivenTime(destCtime);
  request.sizing = pictureSizingBehaviour;
  request.rotateDegrees = rotateDegrees;
  request.isTitleStill = isTitleStill == VARIANT_TRUE;
  return Report(kMethod, story_->AddStill(request));
}

HRESULT CVEXAVCDEngine::ExpectStills(const BSTR* files, const LONG* rotations, LONG count) {
  if (count < 0 || (count > 0 && (!files || !rotations))) return E_INVALIDARG;
  std::vector<ExpectedStill> stills;
  stills.reserve(static_cast<std::size_t>(count));
  for (LONG i = 0; i < count; ++i) stills.push_back({Narrow(files[i]), rotations[i]});
  if (!story_) return E_FAIL;
  story_->ExpectStills(stills);
  return S_OK;
}

HRESULT CVEXAVCDEngine::DropExpectedStills() {
  if (story_) story_->DropExpectedStills();
  return S_OK;
}

HRESULT CVEXAVCDEngine::AddTitleStill() {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::AddTitleStill";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  StillRequest request;
  if (const Result r = story_->MakeTitleStill(&request); !r.ok()) return Report(kMethod, r);
  // The picture is added as any still is, under that method's name.
  return Report("IVEXAStoryboardStillsSlideshow1::AddStill", story_->AddStill(request));
}

}  // namespace vexa::engine
