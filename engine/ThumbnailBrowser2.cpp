#include "engine/ThumbnailBrowser2.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/Time.h"
#include "platform/base/WorkPool.h"

namespace vexa::engine {

namespace {

std::string Narrow(const char16_t* s) { return s ? base::Utf16ToUtf8(s) : std::string(); }

std::string Printf(const char* format, long a, long b = 0) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

}  // namespace

// ---- MenuPageLayout ----------------------------------------------------------------------

MenuPageLayout::MenuPageLayout(DISCPAK_LibObject* discpak, std::int32_t width, std::int32_t height,
                               const MenuGrid* grid, std::string emptyCellPicture, std::string framePicture)
    : discpak_(discpak),
      width_(width),
      height_(height),
      grid_(grid ? *grid : MenuGrid{}),
      haveGrid_(grid != nullptr),
      emptyCell_(std::move(emptyCellPicture)),
      frame_(std::move(framePicture)) {
  if (discpak_ && discpak_->VCDNewBasicBitmap) bitmap_ = discpak_->VCDNewBasicBitmap(width, height, 0);
  // The page is shown on a television: the pictures fitted into it keep
  // their shape on the screen, whose pixels are not square.
  const VCDPixelShape shape = VCDFramePixelShape(width, height);
  if (bitmap_ && !bitmap_->SetPixelAspect(shape.width, shape.height)) {
    if (discpak_->VCDDeleteBasicBitmap) discpak_->VCDDeleteBasicBitmap(bitmap_);
    bitmap_ = nullptr;
  }
}

MenuPageLayout::~MenuPageLayout() {
  if (bitmap_ && discpak_ && discpak_->VCDDeleteBasicBitmap) discpak_->VCDDeleteBasicBitmap(bitmap_);
}

void MenuPageLayout::SetTextStyle(const MenuTextStyle& style) { style_ = style; }

bool MenuPageLayout::DrawBackground(const std::string& path) {
  return bitmap_ && bitmap_->StretchImageFile(0, 0, width_, height_, path.c_str());
}

bool MenuPageLayout::DrawPicture(const std::string& picture, std::int32_t x, std::int32_t y, std::int32_t width,
                                 std::int32_t height) {
  return bitmap_ && bitmap_->FitImageFileWithBorder(x, y, width, height, picture.c_str(), -1);
}

bool MenuPageLayout::TextAt(std::int32_t x, std::int32_t y, const std::string& text) {
  return bitmap_ && bitmap_->Text(x, y, style_.font.c_str(), style_.size, style_.charset, style_.colour,
                                  style_.background, text.c_str());
}

bool MenuPageLayout::DrawText(const std::string& text) {
  return TextAt(static_cast<std::int32_t>(width_ * style_.scaleX), static_cast<std::int32_t>(height_ * style_.scaleY),
                text);
}

bool MenuPageLayout::DrawCell(const std::string* picture, std::int32_t column, std::int32_t row,
                              const std::string& label) {
  if (!bitmap_ || !haveGrid_) return false;
  const std::int32_t x = column * grid_.columnPitch + grid_.originX;
  const std::int32_t y = row * grid_.rowPitch + grid_.originY;
  bool ok = true;
  if (!frame_.empty()) ok = bitmap_->StretchImageFile(x, y, grid_.cellWidth, grid_.cellHeight, frame_.c_str());
  if (picture) {
    ok = DrawPicture(*picture, x + grid_.insetX, y + grid_.insetY, grid_.pictureWidth, grid_.pictureHeight) && ok;
    if (!label.empty()) {
      ok = TextAt(x + static_cast<std::int32_t>(grid_.cellWidth * style_.scaleX),
                  y + static_cast<std::int32_t>(grid_.cellHeight * style_.scaleY), label) &&
           ok;
    }
  } else if (!emptyCell_.empty()) {
    ok = bitmap_->StretchImageFile(x, y, grid_.cellWidth, grid_.cellHeight, emptyCell_.c_str()) && ok;
  }
  return ok;
}

bool MenuPageLayout::GetDIB(const std::uint8_t** header, const std::uint8_t** bits) {
  return bitmap_ && bitmap_->CreateDIB(header, bits) > 0 && *header && *bits;
}

bool MenuPageLayout::WriteBMP(const std::string& file) { return bitmap_ && bitmap_->WriteBMP(file.c_str()); }

// ---- ThumbnailBrowser2 --------------------------------------------------------------------

ThumbnailBrowser2::ThumbnailBrowser2(DISCPAK_LibObject* discpak, DriveAccess* log, const base::Clock& clock)
    : discpak_(discpak), log_(log), clock_(clock) {}

ThumbnailBrowser2::~ThumbnailBrowser2() {
  run_.Cancel();
  run_.Join();
  RemoveProducts();
}

void ThumbnailBrowser2::RemoveProducts() {
  std::lock_guard lock(mutex_);
  for (const auto& f : products_) std::remove(f.c_str());
  products_.clear();
  segments_.clear();
}

std::int64_t ThumbnailBrowser2::NowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(clock_.Monotonic().time_since_epoch()).count();
}

void ThumbnailBrowser2::Log(const std::string& text) {
  if (log_) log_->Log(text);
}

void ThumbnailBrowser2::SetVideoFormat(std::int32_t format) {
  format_ = format;
  const bool pal = format == 2;
  width_ = 704;
  height_ = pal ? 576 : 480;
  mode_ = pal ? 4 : 2;
}

void ThumbnailBrowser2::SetTitleWaitTime(std::int32_t seconds) { titleWait_ = seconds; }

void ThumbnailBrowser2::SetTitleLines(const char* picture1, const char* picture2, std::int32_t x1, std::int32_t y1,
                                      std::int32_t width1, std::int32_t height1, std::int32_t x2, std::int32_t y2,
                                      std::int32_t width2, std::int32_t height2) {
  titleLines_[0] = {picture1 ? picture1 : "", x1, y1, width1, height1};
  titleLines_[1] = {picture2 ? picture2 : "", x2, y2, width2, height2};
}

void ThumbnailBrowser2::SetTitleLinesW(const char16_t* picture1, const char16_t* picture2, std::int32_t x1,
                                       std::int32_t y1, std::int32_t width1, std::int32_t height1, std::int32_t x2,
                                       std::int32_t y2, std::int32_t width2, std::int32_t height2) {
  SetTitleLines(Narrow(picture1).c_str(), Narrow(picture2).c_str(), x1, y1, width1, height1, x2, y2, width2,
                height2);
}

void ThumbnailBrowser2::SetTitleBackground(const char* path) { titleBackground_ = path ? path : ""; }

void ThumbnailBrowser2::SetTitleBackgroundW(const char16_t* path) { SetTitleBackground(Narrow(path).c_str()); }

void ThumbnailBrowser2::SetMenuGrid(const MenuGrid& grid, const char* emptyCellPicture, const char* framePicture,
                                    const char* pageBackground, std::int32_t thumbnailsPerPage) {
  grid_ = grid;
  haveGrid_ = true;
  emptyCell_ = emptyCellPicture ? emptyCellPicture : "";
  frame_ = framePicture ? framePicture : "";
  pageBackground_ = pageBackground ? pageBackground : "";
  perPage_ = thumbnailsPerPage > 0 ? thumbnailsPerPage : 1;
}

void ThumbnailBrowser2::SetMenuGridW(const MenuGrid& grid, const char16_t* emptyCellPicture,
                                     const char16_t* framePicture, const char16_t* pageBackground,
                                     std::int32_t thumbnailsPerPage) {
  SetMenuGrid(grid, Narrow(emptyCellPicture).c_str(), Narrow(framePicture).c_str(), Narrow(pageBackground).c_str(),
              thumbnailsPerPage);
}

void ThumbnailBrowser2::SetTextStyle(std::int32_t index, const char* font, std::int32_t size, std::int32_t charset,
                                     float scaleX, float scaleY, std::int32_t colour, std::int32_t background) {
  if (index < 0 || index > 2) return;
  styles_[index] = {size, font ? font : "", charset, scaleX, scaleY, colour, background};
}

void ThumbnailBrowser2::SetTextStyleW(std::int32_t index, const char16_t* font, std::int32_t size,
                                      std::int32_t charset, float scaleX, float scaleY, std::int32_t colour,
                                      std::int32_t background) {
  SetTextStyle(index, Narrow(font).c_str(), size, charset, scaleX, scaleY, colour, background);
}

std::int32_t ThumbnailBrowser2::AddPicture(const char* path, const char* caption, std::int32_t flag) {
  if (!path || !*path || static_cast<int>(pictures_.size()) >= kMaxPictures) return 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return 0;
  pictures_.push_back({path, caption ? caption : "", caption != nullptr, flag});
  return 1;
}

std::int32_t ThumbnailBrowser2::AddPictureW(const char16_t* path, const char16_t* caption, std::int32_t flag) {
  const std::string c = Narrow(caption);
  return AddPicture(Narrow(path).c_str(), caption ? c.c_str() : nullptr, flag);
}

std::int32_t ThumbnailBrowser2::EstimateSeconds() {
  const std::int32_t n = PictureCount();
  const std::int32_t items = n + n / perPage_ + 1;
  const float scale = discpak_ && discpak_->VCDCPUScale ? discpak_->VCDCPUScale() : 1.0f;
  const auto seconds = static_cast<std::int32_t>(std::lround(items * 2.0) * scale);
  Log(Printf("ThumbnailBrowser2 time estimate %d", seconds));
  return seconds;
}

std::int64_t ThumbnailBrowser2::ReferenceWorkMs() const {
  const std::int64_t n = PictureCount();
  return (n + (perPage_ > 0 ? n / perPage_ : 0) + 1) * 2000;
}

std::int32_t ThumbnailBrowser2::EstimateSectors() {
  const std::int32_t n = PictureCount();
  return (n + n / perPage_) * 150 + 225;
}

std::int32_t ThumbnailBrowser2::GetProgress(std::int32_t* percent, std::int32_t* remaining, std::int32_t* done) {
  const std::int32_t total = total_.load();
  const std::int32_t finished = picturesDone_.load();
  *percent = total == 0 ? 100 : finished * 100 / total;
  if (finished > 0) {
    const std::int64_t spent = lastTick_.load() - startTick_.load();
    *remaining = static_cast<std::int32_t>(spent / finished * (total - finished) / 1000);
  } else {
    *remaining = total * 5;
  }
  *done = run_.done() ? 1 : 0;
  return *done;
}

void ThumbnailBrowser2::GetItemProgress(std::int64_t* made, std::int64_t* planned) const {
  *made = run_.DoneUnits();
  *planned = run_.PlannedUnits();
}

void ThumbnailBrowser2::Cancel() { run_.Cancel(); }

void ThumbnailBrowser2::Discard() {
  run_.Cancel();
  run_.Join();
  RemoveProducts();
}

bool ThumbnailBrowser2::WaitDone(std::int32_t timeoutMs) {
  return run_.WaitDone(std::chrono::milliseconds(timeoutMs));
}

std::int32_t ThumbnailBrowser2::GetResult(std::string* name) { return run_.Result(name); }

std::int32_t ThumbnailBrowser2::GetResultW(std::u16string* name) {
  std::string n;
  const std::int32_t s = GetResult(&n);
  if (name) *name = base::Utf8ToUtf16(n);
  return s;
}

std::int32_t ThumbnailBrowser2::GetSegmentCount() {
  std::lock_guard lock(mutex_);
  return static_cast<std::int32_t>(segments_.size());
}

std::string ThumbnailBrowser2::GetSegment(std::int32_t i, std::int32_t* contentByte) {
  std::lock_guard lock(mutex_);
  if (i < 0 || i >= static_cast<std::int32_t>(segments_.size())) return {};
  if (contentByte) *contentByte = segments_[static_cast<std::size_t>(i)].second;
  return segments_[static_cast<std::size_t>(i)].first;
}

std::string ThumbnailBrowser2::ItemPath(std::int32_t number) const {
  char name[32];
  std::snprintf(name, sizeof name, "ITEM%04d.DAT", number);
  return workDirectory_ + name;
}

std::int32_t ThumbnailBrowser2::StartW(const char16_t* workDirectory) { return Start(Narrow(workDirectory).c_str()); }

std::int32_t ThumbnailBrowser2::Start(const char* workDirectory) {
  run_.Join();
  RemoveProducts();
  {
    std::lock_guard lock(mutex_);
    workDirectory_ = workDirectory && *workDirectory ? workDirectory : base::TempDirectory();
    if (workDirectory_.back() != '/') workDirectory_ += '/';
  }
  startTick_.store(NowMs());
  lastTick_.store(startTick_.load());
  picturesDone_.store(0);
  total_.store(PictureCount());
  if (!discpak_ || !discpak_->VCDGetPicture || !discpak_->VCDVidlathe1 || !discpak_->NewVCDClass20Menu) {
    run_.EndNow(base::kWorkNotBound);
    return 0;
  }
  Log("ThumbnailBrowser2 conversion started.");
  Log(Printf("%d pictures to convert", PictureCount()));
  // A cancelled run leaves no segments behind.
  return run_.Start([this] { return Convert(); },
                    [this](bool cancelled) {
                      if (cancelled) RemoveProducts();
                      Log("ThumbnailBrowser2 conversion complete.");
                    })
             ? 1
             : 0;
}

bool ThumbnailBrowser2::EncodeStill(const std::uint8_t* header, const std::uint8_t* bits,
                                    const std::string& itemFile) {
  BITMAPINFOHEADER h;
  std::memcpy(&h, header, sizeof h);
  // The coarser quantisers only when a still would not encode otherwise.
  for (int q : {2, 8, 16, 32, 62}) {
    if (run_.cancelled()) return false;
    if (discpak_->VCDVidlathe1(const_cast<std::uint8_t*>(bits), &h, itemFile.c_str(), q, mode_)) return true;
  }
  return false;
}

bool ThumbnailBrowser2::MakePictureSegment(std::size_t i, const std::string& itemFile) {
  const Picture& p = pictures_[i];
  Log("ThumbnailBrowser2: Start segment conversion");
  Log(p.path);
  std::vector<std::uint8_t> bits(static_cast<std::size_t>(width_) * height_ * 3);
  BITMAPINFOHEADER header{};
  if (!discpak_->VCDGetPicture(p.path.c_str(), width_, height_, 0, 0, nullptr, bits.data(), bits.size(), &header,
                               nullptr, 0, 0, p.flag)) {
    Log("ThumbnailBrowser2: resize failed");
    return false;
  }
  if (!EncodeStill(reinterpret_cast<const std::uint8_t*>(&header), bits.data(), itemFile)) {
    Log("ThumbnailBrowser2: Error Vidlathe1");
    return false;
  }
  Log("ThumbnailBrowser2: Finish Vidlathe1");
  return true;
}

bool ThumbnailBrowser2::MakePage(std::int32_t page, std::int32_t pages, std::int32_t rows, std::int32_t columns,
                                 const std::string& itemFile) {
  Log(Printf("ThumbnailBrowser2: create menu page %d", page));
  MenuPageLayout layout(discpak_, width_, height_, haveGrid_ ? &grid_ : nullptr, emptyCell_, frame_);
  if (!layout.ok()) return false;
  if (!pageBackground_.empty()) layout.DrawBackground(pageBackground_);
  layout.SetTextStyle(styles_[0]);
  layout.DrawText(Printf("%d/%d", page + 1, pages));
  layout.SetTextStyle(styles_[1]);
  const std::int32_t n = PictureCount();
  std::int32_t j = page * perPage_;
  std::int32_t numberOnPage = 1;
  for (std::int32_t r = 0; r < rows; ++r) {
    for (std::int32_t c = 0; c < columns; ++c, ++j) {
      if (j < n && j < (page + 1) * perPage_) {
        const std::string label = frame_.empty() ? std::string() : Printf("%d.", numberOnPage);
        layout.DrawCell(&pictures_[static_cast<std::size_t>(j)].path, c, r, label);
        ++numberOnPage;
      } else if (!emptyCell_.empty()) {
        layout.DrawCell(nullptr, c, r, std::string());
      }
    }
  }
  const std::uint8_t* header = nullptr;
  const std::uint8_t* bits = nullptr;
  if (!layout.GetDIB(&header, &bits)) {
    Log("ThumbnailBrowser2: Error CreateDIB");
    return false;
  }
  Log("ThumbnailBrowser2: Start Vidlathe1");
  if (!EncodeStill(header, bits, itemFile)) {
    Log("ThumbnailBrowser2: Error Vidlathe1");
    return false;
  }
  Log("ThumbnailBrowser2: Finish Vidlathe1");
  return true;
}

bool ThumbnailBrowser2::MakeTitlePage(const std::string& itemFile) {
  Log("ThumbnailBrowser2: create title page");
  MenuPageLayout layout(discpak_, width_, height_, nullptr, std::string(), std::string());
  if (!layout.ok()) return false;
  if (!titleBackground_.empty()) layout.DrawBackground(titleBackground_);
  for (const Rect& r : titleLines_) {
    if (!r.picture.empty()) layout.DrawPicture(r.picture, r.x, r.y, r.width, r.height);
  }
  const std::uint8_t* header = nullptr;
  const std::uint8_t* bits = nullptr;
  if (!layout.GetDIB(&header, &bits)) {
    Log("ThumbnailBrowser2: Error CreateDIB");
    return false;
  }
  Log("ThumbnailBrowser2: Start Vidlathe1");
  if (!EncodeStill(header, bits, itemFile)) {
    Log("ThumbnailBrowser2: Error Vidlathe1");
    return false;
  }
  Log("ThumbnailBrowser2: Finish Vidlathe1");
  return true;
}

// Pictures 1..N, pages N+1..N+P and the title N+P+1 are independent
// pictures: a pool of workers, one a core (WorkPool.h), makes them, each into
// its own item file, one item a worker at a time; they are listed in item
// order afterwards, and the first failed item in order is the one reported.
std::int32_t ThumbnailBrowser2::Convert() {
  const std::int32_t n = PictureCount();
  const std::int32_t pages = (n + perPage_ - 1) / perPage_;
  std::int32_t rows = 1, columns = 1;
  switch (perPage_) {
    case 4: rows = 2; columns = 2; break;
    case 6: rows = 2; columns = 3; break;
    case 9: rows = 3; columns = 3; break;
    case 16: rows = 4; columns = 4; break;
    default: break;
  }
  const std::int32_t jobs = n + pages + 1;
  if (jobs > kMaxSegments) return base::kWorkEncoderFailed;
  run_.SetPlanned(jobs);
  std::vector<std::string> items(static_cast<std::size_t>(jobs));
  for (std::int32_t j = 0; j < jobs; ++j) items[static_cast<std::size_t>(j)] = ItemPath(j + 1);
  {
    std::lock_guard lock(mutex_);
    products_ = items;
  }
  auto make = [&](std::size_t index) {
    const auto j = static_cast<std::int32_t>(index);
    const std::string& item = items[index];
    bool made;
    if (j < n) {
      made = MakePictureSegment(index, item);
      lastTick_.store(NowMs());
      picturesDone_.fetch_add(1);
    } else if (j < n + pages) {
      made = MakePage(j - n, pages, rows, columns, item);
    } else {
      made = MakeTitlePage(item);
    }
    run_.AddDone();
    return made;
  };
  const unsigned workers = workers_ > 0 ? workers_ : base::WorkersFor(static_cast<std::size_t>(jobs), kMaxWorkers);
  const std::vector<base::ItemOutcome> outcomes =
      base::MakeItems(run_, static_cast<std::size_t>(jobs), workers, make);
  if (run_.cancelled()) return base::kWorkCancelled;

  const auto firstFailed = std::find_if(outcomes.begin(), outcomes.end(),
                                        [](base::ItemOutcome o) { return o != base::ItemOutcome::kMade; });
  // Items are begun in order: one never begun before a failed one means no
  // worker could start.
  if (firstFailed != outcomes.end() && *firstFailed == base::ItemOutcome::kNotMade) return base::kWorkFault;
  if (firstFailed != outcomes.end()) {
    const auto j = static_cast<std::int32_t>(firstFailed - outcomes.begin());
    if (j < n) {
      Log("ThumbnailBrowser2: error creating picture segments");
      run_.SetFailedName(pictures_[static_cast<std::size_t>(j)].path);
      return base::kWorkInputFailed;
    }
    Log(j < n + pages ? "ThumbnailBrowser2: error creating picture thumbnails"
                      : "ThumbnailBrowser2: error creating title page");
    return base::kWorkEncoderFailed;
  }
  const std::int32_t content = format_ == 2 ? 24 : 8;
  {
    std::lock_guard lock(mutex_);
    for (const auto& item : items) segments_.emplace_back(item, content);
  }
  if (!WritePlaySequence(n, pages)) return base::kWorkEncoderFailed;
  return base::kWorkSuccess;
}

bool ThumbnailBrowser2::WritePlaySequence(std::int32_t n, std::int32_t pages) {
  I_VCDClass20Menu* menu = discpak_->NewVCDClass20Menu(2500);
  if (!menu) return false;
  struct Deleter {
    DISCPAK_LibObject* d;
    I_VCDClass20Menu* m;
    ~Deleter() { d->DeleteVCDClass20Menu(m); }
  } deleter{discpak_, menu};
  const std::int32_t title = n + pages + 1000;

  I_VCD20SelList* home = menu->NewSelList(1);
  if (!home) return false;
  home->SetLink(0, 50);
  home->SetLink(1, 50);
  home->SetLink(3, 50);
  home->SetLink(4, 50);
  home->SetLink(2, 1);
  // Without pictures there is no page to go to.
  home->SetSelections(pages > 0 ? 2 : 1, 1);
  home->SetSelection(1, 50);
  if (pages > 0) home->SetSelection(2, 2000);
  home->SetItem(title);
  home->SetWaitTime(titleWait_);
  home->SetLoop(1);

  I_VCD20PlayList* show = menu->NewPlayList(50);
  if (!show) return false;
  show->SetLink(0, 1);
  show->SetLink(1, 1);
  show->SetLink(2, 1);
  show->SetItemCount(1);
  show->SetItem(0, 2);
  show->SetPlayingTime(0);
  show->SetWaitTimes(1, 0);

  for (std::int32_t p = 0; p < pages; ++p) {
    I_VCD20SelList* page = menu->NewSelList(static_cast<std::uint16_t>(2000 + p));
    if (!page) return false;
    page->SetLink(0, static_cast<std::uint16_t>(2000 + (p == 0 ? pages - 1 : p - 1)));
    page->SetLink(1, static_cast<std::uint16_t>(2000 + (p == pages - 1 ? 0 : p + 1)));
    page->SetLink(4, static_cast<std::uint16_t>(2000 + p));
    page->SetLink(3, static_cast<std::uint16_t>(2000 + p));
    page->SetLink(2, 1);
    const std::int32_t first = p * perPage_;
    const std::int32_t count = std::min(perPage_, n - first);
    page->SetSelections(count, 1);
    for (std::int32_t k = 1; k <= count; ++k) page->SetSelection(k, static_cast<std::uint16_t>(100 + first + k - 1));
    page->SetItem(n + p + 1000);
    page->SetWaitTime(254);
    page->SetLoop(1);
  }
  for (std::int32_t i = 0; i < n; ++i) {
    I_VCD20PlayList* still = menu->NewPlayList(static_cast<std::uint16_t>(100 + i));
    if (!still) return false;
    still->SetLink(0, static_cast<std::uint16_t>(100 + (i == 0 ? n - 1 : i - 1)));
    still->SetLink(1, static_cast<std::uint16_t>(100 + (i == n - 1 ? 0 : i + 1)));
    still->SetLink(2, static_cast<std::uint16_t>(2000 + i / perPage_));
    still->SetItemCount(1);
    still->SetItem(0, 1000 + i);
    still->SetPlayingTime(0);
    still->SetWaitTimes(255, 255);
  }

  std::int32_t lotSize = 0, psdSize = 0;
  const std::uint8_t* lot = menu->BuildLOT(&lotSize);
  if (!lot || lotSize <= 0 || lotSize > 65536) {
    Log(std::string("ThumbnailBrowser2: ") + (menu->GetError() ? menu->GetError() : "LOT failed"));
    return false;
  }
  std::string lotData(reinterpret_cast<const char*>(lot), static_cast<std::size_t>(lotSize));
  lotData.resize(65536, static_cast<char>(0xFF));
  const std::uint8_t* psd = menu->BuildPSD(&psdSize);
  if (!psd || psdSize <= 0) {
    Log(std::string("ThumbnailBrowser2: ") + (menu->GetError() ? menu->GetError() : "PSD failed"));
    return false;
  }
  const std::string lotPath = workDirectory_ + "LOT.VCD";
  const std::string psdPath = workDirectory_ + "PSD.VCD";
  {
    std::lock_guard lock(mutex_);
    products_.push_back(lotPath);
    products_.push_back(psdPath);
  }
  return base::WriteFileAtomic(lotPath, lotData) &&
         base::WriteFileAtomic(psdPath, std::string(reinterpret_cast<const char*>(psd), static_cast<std::size_t>(psdSize)));
}

}  // namespace vexa::engine
