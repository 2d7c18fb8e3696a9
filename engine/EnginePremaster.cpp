// The premaster: the menu layout, the three PDFs, the PC pages, the extra
// include files, the volume record and the manifests, made on the client's
// thread, then the image builder's premaster worker.
#include <cstdio>
#include <cstring>

#include "engine/ComPorts.h"
#include "engine/Engine.h"
#include "engine/ImageEstimate.h"
#include "engine/ThumbnailBrowser2.h"
#include "idl/ProductKey.h"
#include "idl/VEXAPC.h"
#include "idl/vexaprt.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/registry/Registry.h"

namespace vexa::engine {

using com::Bstr;
using com::ComPtr;

namespace {

constexpr char kMethod[] = "IVEXAPremaster::StartPremaster";

// The thumbnails of a menu page (three rows of three).
constexpr std::int32_t kThumbnailsPerPage = 9;

void PutText(std::uint8_t* record, std::size_t offset, std::size_t size, const std::string& text) {
  std::memcpy(record + offset, text.data(), std::min(size, text.size()));
}

void PutDate(std::uint8_t* record, std::size_t offset, const SYSTEMTIME& t) {
  const WORD words[8] = {t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
  for (int i = 0; i < 8; ++i) {
    record[offset + 2 * i] = static_cast<std::uint8_t>(words[i]);
    record[offset + 2 * i + 1] = static_cast<std::uint8_t>(words[i] >> 8);
  }
}

}  // namespace

// The 752-byte volume record of the image: space-padded texts, dates as
// 16-byte calendar records; the dates the disc does not set are zero (the
// standard's "not specified").
std::vector<std::uint8_t> CVEXAVCDEngine::VolumeRecord(const std::string& dataPreparer) const {
  std::vector<std::uint8_t> r(752, 0x20);
  PutDate(r.data(), 0, startTime_);
  PutDate(r.data(), 16, startTime_);
  std::memset(r.data() + 32, 0, 32);  // expiration and effective dates
  PutText(r.data(), 64, 32, "CD-RTOS CD-BRIDGE");
  PutText(r.data(), 96, 32, "KV_ORL_DISC");
  std::string id = base::ToUpperAscii(GUIDtoStringGUID(engineGuid_));
  for (char& c : id) {
    if (c == '-') c = '_';
  }
  PutText(r.data(), 128, 36, id);
  PutText(r.data(), 384, 128, dataPreparer);
  if (!copyright_.empty()) PutText(r.data(), 640, 37, copyright_);
  if (!abstract_.empty()) PutText(r.data(), 677, 37, abstract_);
  if (!bibliographic_.empty()) PutText(r.data(), 714, 37, bibliographic_);
  return r;
}

// The Video CD menus: art, home page, thumbnail pages and text styles.
HRESULT CVEXAVCDEngine::LayOutMenus() {
  const bool pal = story_->IsPalSystem();
  const int off = pal ? 48 : 0;
  std::string appPath = reg::GetString(reg::Hive::LocalMachine, kProductKey, "APP_PATH").value_or(base::ShareDir());
  const std::string art = base::JoinPath(base::ToNativePath(appPath), "graphics") + "/";
  const std::string home = art + (pal ? "HomePageBkgnd576.jpg" : "HomePageBkgnd480.jpg");
  const std::string thumbs = art + (pal ? "ThumbsPageBkgnd576.jpg" : "ThumbsPageBkgnd480.jpg");
  const std::string mask = art + "ThumbsPageThumbMask.jpg";
  menu_->SetTitleBackground(home.c_str());
  menu_->SetTitleWaitTime(15);
  menu_->SetTitleLines(story_->FirstStill().c_str(), story_->SecondStill().empty() ? nullptr : story_->SecondStill().c_str(), 0, 42 + off, 704,
                       250, 280, 318 + off, 148, 111);
  MenuGrid grid;
  grid.originX = 52;
  grid.originY = 38 + off;
  grid.rowPitch = 126;
  grid.columnPitch = 209;
  grid.cellWidth = 208;
  grid.cellHeight = 128;
  grid.pictureWidth = 130;
  grid.pictureHeight = 98;
  grid.insetX = 33;
  grid.insetY = 6;
  menu_->SetMenuGrid(grid, mask.c_str(), nullptr, thumbs.c_str(), kThumbnailsPerPage);
  menu_->SetTextStyle(0, "Arial", 18, 0, 0.47301137f, static_cast<float>(off + 416) / static_cast<float>(2 * off + 480),
                      0xFFFFFF, -1);
  menu_->SetTextStyle(1, "Arial", 14, 0, 0.0f, 0.09259259f, 0xFFFFFF, -1);
  menu_->SetTextStyle(2, "Arial", 18, 0, 0.0f, 0.8f, 0xFFFFFF, 0xFF0000);
  return S_OK;
}

HRESULT CVEXAVCDEngine::MakePrints() {
  ComPtr<ICoVexaPrt> prints;
  if (FAILED(CoCreateInstance(CLSID_CoVexaPrt, nullptr, CLSCTX_ALL, com::IidOf<ICoVexaPrt>(), prints.PutVoid()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAVCDEngine::FinalConstruct - Failed to create IVEXAPrt"),
                VEXAEngineResultObjectCreateFail);
  }
  if (FAILED(prints->SetTemporaryDirectory(Bstr::FromUtf8(folders_.vexaprt).Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo("IVEXAEngine::SetTemporaryDirectory - Can not set temporary directory for pc print"),
                VEXAEngineResultSubmoduleSetTempDirectoryFail);
  }
  const bool a4 = story_->PaperSize() != VEXAPaperSizeLetter;
  if (FAILED(prints->SetPaperSize(a4 ? 1 : 0))) {
    return Fail(kMethod,
                PrefixWithErrorInfo(a4 ? "IVEXAStoryboardStillsSlideshow1::SetPaperSize(1) for pcprint failed"
                                       : "IVEXAStoryboardStillsSlideshow1::SetPaperSize(0) for pcprint failed"),
                VEXAEngineResultSubmoduleSetTitleLinesFail);
  }
  const std::array<std::string, 3>& lines = story_->PremasterLines();
  if (FAILED(prints->SetTitleLines(Bstr::FromUtf8(lines[0]).Get(), Bstr::FromUtf8(lines[1]).Get(),
                                   Bstr::FromUtf8(lines[2]).Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo("IVEXAStoryboardStillsSlideshow1::SetTitleLine(line1, line2, line3) for pcprint failed"),
                VEXAEngineResultSubmoduleSetTitleLinesFail);
  }
  for (std::int32_t i = 1; i <= story_->StillCount(); ++i) {
    const StillRecord& s = story_->Still(i);
    if (FAILED(prints->AddStill(Bstr::FromUtf8(s.albumFile).Get(), Bstr::FromUtf8(s.title).Get(), VariantDate(s.displayTime),
                                s.sizing, Bstr::FromUtf8(s.thumbFile).Get(), VariantDate(s.startTime)))) {
      return Fail(kMethod, PrefixWithErrorInfo("IVEXAStoryboardStillsSlideshow1::AddStill - AddStill call failed for m_pPCPrts "),
                  VEXAEngineResultSubmoduleAddStillFail);
    }
  }
  struct Product {
    const char* file;
    const char* makeFailed;
    const char* addFailed;
  } products[] = {
      {"CONTACT.PDF", "VEXAVCDEngine::StartPremaster - VEXAPRT - failed to make contact sheet",
       "VEXAVCDEngine::StartPremaster - VEXAPRT - failed to add /contact.pdf/ to disc"},
      {"INSERT.PDF", "VEXAVCDEngine::StartPremaster - VEXAPRT - failed to make cd insert",
       "VEXAVCDEngine::StartPremaster - VEXAPRT - failed to add /insert.pdf/ to disc"},
      {"PRINTS.PDF", "VEXAVCDEngine::StartPremaster - VEXAPRT - failed to make print album",
       "VEXAVCDEngine::StartPremaster - VEXAPRT - failed to add /prints.pdf/ to disc"},
  };
  for (const Product& p : products) {
    if (!HasTempSpace()) {
      return TempSpaceLimitReached();
    }
    const std::string path = folders_.root + "/" + p.file;
    const Bstr target = Bstr::FromUtf8(path);
    HRESULT hr;
    if (std::strcmp(p.file, "CONTACT.PDF") == 0) {
      hr = prints->MakeContactSheet(target.Get(), Bstr(u"IM_A").Get(), 4);
    } else if (std::strcmp(p.file, "INSERT.PDF") == 0) {
      hr = prints->MakeCdInsert(target.Get());
    } else {
      hr = prints->MakePrintAlbum(target.Get());
    }
    if (FAILED(hr)) return Fail(kMethod, PrefixWithErrorInfo(p.makeFailed), VEXAEngineResultSubmoduleMethodFail);
    if (const Result r = story_->AddFile(path, std::string("/ORLDISC/ALBUM_A/PRINT/PDF/") + p.file, "", std::nullopt);
        !r.ok()) {
      return Fail(kMethod, r.Then(p.addFailed), VEXAEngineResultSubmoduleMethodFail);
    }
  }
  return S_OK;
}

HRESULT CVEXAVCDEngine::MakePages() {
  ComPtr<IIVEXAPC> pages;
  if (FAILED(CoCreateInstance(CLSID_IVEXAPC, nullptr, CLSCTX_ALL, com::IidOf<IIVEXAPC>(), pages.PutVoid()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAVCDEngine::FinalConstruct - Failed to create IVEXAPC"),
                VEXAEngineResultObjectCreateFail);
  }
  if (FAILED(pages->put_WorkDirectory(Bstr::FromUtf8(folders_.pageMirror).Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo("IVEXAEngine::setTempDirectory - put_WorkDirectory failed on m_pPCExp"),
                VEXAEngineResultSubmoduleSetTempDirectoryFail);
  }
  if (FAILED(pages->put_StillDelay(story_->StillDelay()))) {
    return Fail(kMethod, PrefixWithErrorInfo("IVEXAEngine::StillDelay - PCExp put_StillDelay failed"),
                VEXAEngineResultSubmoduleSetStillDelayFail);
  }
  for (int i = 0; i < 3; ++i) {
    const std::string& line = story_->PremasterLines()[static_cast<std::size_t>(i)];
    if (line.empty()) continue;
    if (FAILED(pages->SetTitleLine(i + 1, Bstr::FromUtf8(line).Get()))) {
      const std::string n = std::to_string(i + 1);
      return Fail(kMethod,
                  PrefixWithErrorInfo("IVEXAStoryboardStillsSlideshow1::SetTitleLine(" + n + ", line" + n + ") for pcexp failed"),
                  VEXAEngineResultSubmoduleSetTitleLinesFail);
    }
  }
  if (const std::string& music = story_->MusicRelativeName();
      !music.empty() && FAILED(pages->AddAudioTrack(Bstr::FromUtf8(music).Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo("IVEXAStoryboardStillsSlideshow1::AddAudioTrack - AddAudioTrack failed for m_pPCExp"),
                VEXAEngineResultSubmoduleAddAudioTrackFail);
  }
  for (std::int32_t i = 1; i <= story_->StillCount(); ++i) {
    const StillRecord& s = story_->Still(i);
    if (FAILED(pages->AddStill(Bstr::FromUtf8(s.webName).Get(), Bstr::FromUtf8(s.pageName).Get(), VariantDate(s.displayTime),
                               s.albumWidth, s.albumHeight, Bstr::FromUtf8(s.thumbName).Get(), VariantDate(s.startTime),
                               s.thumbWidth, s.thumbHeight))) {
      return Fail(kMethod, PrefixWithErrorInfo("IVEXAStoryboardStillsSlideshow1::AddStill - AddStill call failed for m_pPCExp "),
                  VEXAEngineResultSubmoduleAddStillFail);
    }
  }
  if (FAILED(pages->MakeAlbum(Bstr(u"VIEW/BROWSE").Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAVCDEngine::StartPremaster - VEXAPC - m_pPCExp->MakeAlbum failed"),
                VEXAEngineResultSubmoduleMethodFail);
  }
  if (FAILED(pages->MakeSlideShow(Bstr(u"VIEW/SHOW").Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAVCDEngine::StartPremaster - VEXAPC - m_pPCExp->MakeSlideShow failed"),
                VEXAEngineResultSubmoduleMethodFail);
  }
  if (FAILED(pages->MakeMenu(Bstr(u"VIEW").Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAVCDEngine::StartPremaster - VEXAPC - m_pPCExp->MakeMenu failed"),
                VEXAEngineResultSubmoduleMethodFail);
  }
  if (const Result r = story_->AddFolder(folders_.vexapc, ""); !r.ok()) {
    return Fail(kMethod, r.Then("CVEXAVCDEngine::StartPremaster - Cannot add extra files; AddFiles call failed"),
                VEXAEngineResultAddFilesFail);
  }
  return S_OK;
}

HRESULT CVEXAVCDEngine::MakeManifests() {
  auto spaceCheck = [this]() -> HRESULT {
    if (HasTempSpace()) return S_OK;
    return TempSpaceLimitReached();
  };
  ComPtr<IDiscManifest> manifest;
  if (FAILED(CoCreateInstance(CLSID_DiscManifest, nullptr, CLSCTX_ALL, com::IidOf<IDiscManifest>(), manifest.PutVoid()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAVCDEngine::StartPremaster - Failed to create IVEXAXML::IDiscManifest"),
                VEXAEngineResultObjectCreateFail);
  }
  ComPtr<IDiscManifestXML> mapper;
  if (FAILED(CoCreateInstance(CLSID_DiscManifestXML, nullptr, CLSCTX_ALL, com::IidOf<IDiscManifestXML>(),
                              mapper.PutVoid()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAVCDEngine::StartPremaster - Failed to create IVEXAXML::IDiscManifestXML"),
                VEXAEngineResultObjectCreateFail);
  }
  ComPtr<IDiscGenerationInfo> generation;
  if (FAILED(manifest->get_discGenerationInfo(generation.Put())) || !generation) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAEngine::StartPremaster - m_pDiscManifest->get_discGenerationInfo failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  // The volume description.
  if (HRESULT hr = spaceCheck(); FAILED(hr)) return hr;
  if (FAILED(manifest->put_volumeIdentifier(Bstr(u"KV_ORL_DISC").Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAEngine::StartPremaster - m_pDiscManifest->put_volumeIdentifier failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  if (FAILED(manifest->put_discIdentifier(Bstr::FromUtf8(GUIDtoStringGUID(engineGuid_)).Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAEngine::StartPremaster - m_pDiscManifest->put_discIdentifier failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  // A product key without DownloadVersion gives the bare preparer text.
  if (!reg::KeyExists(reg::Hive::LocalMachine, kProductKey)) {
    char text[256];
    std::snprintf(text, sizeof text, "VEXAEngine::StartPremaster - Can not open registry key '%s' for reading", kProductKey);
    return Fail(kMethod, text, VEXAEngineResultHelpermoduleMethodFail);
  }
  const std::string preparer =
      "Tervane Co./VEXA" + reg::GetString(reg::Hive::LocalMachine, kProductKey, "DownloadVersion").value_or("");
  if (FAILED(generation->put_dataPreparerIdentifier(Bstr::FromUtf8(preparer).Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAEngine::StartPremaster - m_pDiscManifest->put_DataPreparerIdentifier failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  const std::vector<std::uint8_t> record = VolumeRecord(preparer);
  wizard_->SetVolumeInfo(record.data());

  // The manifests.
  if (HRESULT hr = spaceCheck(); FAILED(hr)) return hr;
  if (FAILED(manifest->put_specVersion(Bstr(kVEXAEngineSpecVersion).Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAEngine::StartPremaster - m_pDiscManifest->put_specVersion failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  DATE start = 0;
  SystemTimeToVariantTime(&startTime_, &start);
  if (FAILED(generation->put_createdDate(start))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAEngine::StartPremaster - pDiscGenerationInfo->put_createdDate failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  if (FAILED(generation->put_modifiedDate(start))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAEngine::StartPremaster - pDiscGenerationInfo->put_modifiedDate failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  // The manifest names the disc's home page only when the client put one on
  // the disc (the orchestrator adds /HOMEPAGE.HTM; the engine alone does not).
  if (!story_->HasDiscPath("/HOMEPAGE.HTM")) {
    ComPtr<IHTMLFile> home;
    if (FAILED(manifest->get_discHomePage(home.Put())) || !home || FAILED(home->put_htmlFilename(Bstr(u"").Get()))) {
      return Fail(kMethod, PrefixWithErrorInfo("VEXAEngine::StartPremaster - m_pDiscManifest->get_discHomePage failed"),
                  VEXAEngineResultHelpermoduleMethodFail);
    }
  }
  ComPtr<ISeqOfAlbumInfo> albums;
  if (FAILED(manifest->get_albums(albums.Put())) || !albums) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAEngine::StartPremaster - m_pDiscManifest->get_albums failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  ComPtr<IAlbumInfo> info;
  if (FAILED(albums->AddAlbumInfo(info.Put())) || !info) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAEngine::StartPremaster - m_pDiscManifestSeqOfAlbumInfo->AddAlbumInfo failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  if (FAILED(info->put_identifier(Bstr::FromUtf8(albumIdentifier_).Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAEngine::StartPremaster - pAlbumInfo->put_identifier failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  if (FAILED(info->put_manifestFilename(Bstr(u"/ORLDISC/ALBUM_A/ALBUM.XML").Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAEngine::StartPremaster - pAlbumInfo->put_manifestFilename failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }

  if (HRESULT hr = spaceCheck(); FAILED(hr)) return hr;
  const std::string discFile = folders_.vexaxml + "/DMANIFST.XML";
  if (FAILED(mapper->storeToFile(Bstr::FromUtf8(discFile).Get(), manifest.Get()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAVCDEngine::StartPremaster - VEXAXML - m_pDiscManifestXML->storeToFile failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  if (const Result r = story_->AddFile(discFile, "/ORLDISC/DISCINFO/DISCINFO.XML", "", std::nullopt); !r.ok()) {
    return Fail(kMethod, r.Then("VEXAVCDEngine::StartPremaster - VEXAXML - failed to add /discinfo/manifest.xml"),
                VEXAEngineResultAddFileFail);
  }
  const std::string albumFile = folders_.vexaxml + "/AMANIFST.XML";
  if (FAILED(album_->StoreToFile(albumFile))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAVCDEngine::StartPremaster - VEXAXML - m_pAlbumManifestXML->storeToFile failed"),
                VEXAEngineResultHelpermoduleMethodFail);
  }
  if (const Result r = story_->AddFile(albumFile, "/ORLDISC/ALBUM_A/ALBUM.XML", "", std::nullopt); !r.ok()) {
    return Fail(kMethod, r.Then("VEXAVCDEngine::StartPremaster - VEXAXML - failed to add /albums/album_a/albumext/album.xml"),
                VEXAEngineResultAddFileFail);
  }
  return S_OK;
}

HRESULT CVEXAVCDEngine::CheckRoomBeforePremaster() {
  if (!story_) return S_OK;
  ImageEstimateInput input;
  input.dataTrackSectors = wizard_->DataTrackSectors();
  for (std::int32_t i = 1; i <= story_->StillCount(); ++i) {
    const StillRecord& s = story_->Still(i);
    input.stills.push_back(
        {VCDWizard::FileBytes(s.albumFile), s.albumWidth, s.albumHeight, VCDWizard::FileBytes(s.thumbFile)});
  }
  input.showMs = story_->ShowMs();
  input.thumbnailsPerPage = kThumbnailsPerPage;
  input.extraTrackBytes = wizard_->ExtraTrackBytes();
  const ImageEstimate estimate = EstimateImage(input);
  if (lib_.drives) {
    // A short line: the command log keeps the first 70 characters.
    char text[96];
    std::snprintf(text, sizeof text, "Premaster estimate: %lld sectors, data %lld (files %lld), show %lld",
                  static_cast<long long>(estimate.sectors), static_cast<long long>(estimate.dataTrackSectors),
                  static_cast<long long>(input.dataTrackSectors), static_cast<long long>(estimate.showTrackSectors));
    lib_.drives->Log(text);
  }
  // Only a blank disc's room is the room the burn will have: a rewritable
  // disc that is still to be erased is judged when it is written.
  bool blank = false;
  if (!drive_.current() || !drive_.IsDiscBlank(&blank).ok() || !blank) return S_OK;
  if (const Result r = drive_.CheckRoomForImage(
          [&](std::int32_t next) { return static_cast<std::int64_t>(next) + estimate.sectors; }, kMethod);
      !r.ok()) {
    return Report(kMethod, r);
  }
  return S_OK;
}

HRESULT CVEXAVCDEngine::EstimateStillsImage(const LONGLONG* photoBytes, LONG count, VARIANT_BOOL withTitle,
                                            LONG stillDelayMs, LONGLONG musicBytes, LONGLONG* sectors,
                                            LONGLONG* discSectors) {
  if (!sectors || !discSectors) return E_POINTER;
  if (count < 0 || (count > 0 && !photoBytes) || stillDelayMs < 0) return E_INVALIDARG;
  std::vector<std::uint64_t> bytes;
  bytes.reserve(static_cast<std::size_t>(count));
  for (LONG i = 0; i < count; ++i) bytes.push_back(photoBytes[i] > 0 ? static_cast<std::uint64_t>(photoBytes[i]) : 0);
  const std::int64_t stills = count + (withTitle == VARIANT_TRUE ? 1 : 0);
  const ImageEstimate estimate =
      EstimateImageEarly(bytes, withTitle == VARIANT_TRUE, stills * stillDelayMs,
                         musicBytes > 0 ? static_cast<std::uint64_t>(musicBytes) : 0, kThumbnailsPerPage);
  *sectors = estimate.sectors;
  *discSectors = Storyboard::kMaxDiscSectors;
  return S_OK;
}

HRESULT CVEXAVCDEngine::TempSpaceLimitReached() {
  const std::string folder = folders_.root.empty() ? base::TempDirectory() : folders_.root;
  const std::int64_t free = VCDWizard::FreeBytes(folder);
  char text[768];
  std::snprintf(text, sizeof text,
                "VEXAVCDEngine::StartPremaster - Free temporary space limit reached: the temporary folder %s has %lld "
                "MB free on its disk, and %llu MB must stay free (MIN_TEMP_SPACE). Free some space on that disk, or "
                "choose a temporary folder on another one",
                folder.c_str(), static_cast<long long>(free < 0 ? 0 : free / 1000000),
                static_cast<unsigned long long>((freeSpaceLimit_ + 999999) / 1000000));
  return Fail(kMethod, text, VEXAEngineResultTempSpaceLimitReached);
}

HRESULT CVEXAVCDEngine::StartPremaster() {
  state_ = VEXAEnginePremaster;
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  // Photos named and not added are not made ahead past this point.
  if (story_) story_->DropExpectedStills();
  if (!HasTempSpace()) {
    return TempSpaceLimitReached();
  }
  // A premaster hands the album to the disc and lets it go: a second one
  // has nothing to make the disc from.
  if (premasterStarted_ || !album_) {
    return Fail(kMethod,
                "IVEXAPremaster::StartPremaster - The disc was premastered already; a new disc needs a new engine",
                VEXAEngineResultSubmoduleStartPremasterFail);
  }
  if (!tempReady_) {
    return Fail(kMethod, "IVEXAPremaster::StartPremaster - There is no temporary directory (SetTempDirectory)",
                VEXAEngineResultTemporaryDirFail);
  }
  // The whole show against the disc, before anything is encoded.
  if (const std::int64_t showMs = story_->ShowMs(); showMs > kMaxShowSeconds * 1000) {
    char text[192];
    std::snprintf(text, sizeof text,
                  "IVEXAPremaster::StartPremaster - The slide show of %lld seconds (%d pictures) cannot fit on the "
                  "disc: ",
                  static_cast<long long>((showMs + 999) / 1000), static_cast<int>(story_->StillCount()));
    return Fail(kMethod, text + Storyboard::MaxShowText(), VEXAEngineResultParameterOutOfBounds);
  }
  // The whole image against the disc, before anything is encoded: refused
  // now with the figures the burn would refuse it with.
  if (HRESULT hr = CheckRoomBeforePremaster(); FAILED(hr)) return hr;
  // Room in the work directory for the streams the premaster writes.
  if (const std::int64_t free = VCDWizard::FreeBytes(folders_.root), needed = wizard_->WorkBytesNeeded();
      free >= 0 && needed > free) {
    return Fail(kMethod, "IVEXAPremaster::StartPremaster - " + VCDWizard::NoRoomText(folders_.root, free, needed),
                VEXAEngineResultTempSpaceLimitReached);
  }
  premasterStarted_ = true;
  wizard_->Join();
  story_->Names().Release();

  if (HRESULT hr = LayOutMenus(); FAILED(hr)) return hr;
  // The music, the slide show and the menus do not depend on what follows:
  // they are encoded from now on, while the prints, pages and manifests are
  // made here. The worker hands its results to the image only once those
  // are added.
  wizard_->HoldImage();
  wizard_->StartPremasterThread();
  const HRESULT hr = MakeDiscContent();
  if (FAILED(hr)) {
    wizard_->CancelWork();
    wizard_->ReleaseImage();
    wizard_->Join();
    return hr;
  }
  wizard_->ReleaseImage();
  return SetLastResultOK(kMethod);
}

// The client-side content of the disc, made while the worker encodes.
HRESULT CVEXAVCDEngine::MakeDiscContent() {
  if (!HasTempSpace()) {
    return TempSpaceLimitReached();
  }
  if (HRESULT hr = MakePrints(); FAILED(hr)) return hr;
  if (!HasTempSpace()) {
    return TempSpaceLimitReached();
  }
  if (HRESULT hr = MakePages(); FAILED(hr)) return hr;
  if (auto include = reg::GetString(reg::Hive::LocalMachine, kProductKey, "SDK_INCLUDE_PATH");
      include && !include->empty()) {
    std::string folder = base::ToNativePath(*include);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (const Result r = story_->AddFolder(folder, ""); !r.ok()) {
      return Fail(kMethod, r.Then("CVEXAVCDEngine::StartPremaster - Cannot add extra files for sdkgen; AddFiles call failed"),
                  VEXAEngineResultAddFilesFail);
    }
  }
  if (HRESULT hr = MakeManifests(); FAILED(hr)) return hr;

  // The album and the image utility are done with.
  CloseAlbum();

  if (!HasTempSpace()) {
    return TempSpaceLimitReached();
  }
  return S_OK;
}

HRESULT CVEXAVCDEngine::IsPremasterDone(VARIANT_BOOL* pVal) {
  static constexpr char kName[] = "IVEXAPremaster::IsPremasterDone";
  if (!pVal) return E_POINTER;
  if (!CheckImageBuilder(kName)) return E_FAIL;
  std::int32_t percent, elapsed, remaining, done, speed;
  wizard_->GetProgress(&percent, &elapsed, &remaining, &done, &speed);
  *pVal = done ? VARIANT_TRUE : VARIANT_FALSE;
  return SetLastResultOK(kName);
}

HRESULT CVEXAVCDEngine::get_PremasterProcessTracker(IVEXAProcessTracker** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (FAILED(static_cast<IVEXAEngine*>(this)->QueryInterface(com::IidOf<IVEXAProcessTracker>(),
                                                                reinterpret_cast<void**>(pVal)))) {
    *pVal = nullptr;
    return Fail("IVEXAEngine::get_PremasterProcessTracker",
                PrefixWithErrorInfo("IVEXAPremaster::get_PremasterProcessTracker - Cannot create ProcessTracker"),
                VEXAEngineResultObjectCreateFail);
  }
  return SetLastResultOK("IVEXAPremaster::get_PremasterProcessTracker");
}

HRESULT CVEXAVCDEngine::CancelPremaster(VARIANT_BOOL wait) {
  static constexpr char kName[] = "IVEXAPremaster::CancelPremaster";
  if (!CheckImageBuilder(kName)) return E_FAIL;
  wizard_->CancelWork();
  if (wait == VARIANT_TRUE) wizard_->Join();
  return SetLastResultOK(kName);
}

}  // namespace vexa::engine
