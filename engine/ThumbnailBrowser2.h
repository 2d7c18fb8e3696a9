// ThumbnailBrowser2: the television side of the disc. Each picture becomes
// a full-screen MPEG-1 still, each group of pictures a thumbnail menu page,
// and a title page is drawn; all become Video CD segment play items
// ("ITEMnnnn.DAT" in the work directory), and the play-sequence files
// LOT.VCD and PSD.VCD link them for a remote control.
//
// The conversion runs on a thread of its own (a work run, WorkRun.h), polled
// like the encoders; a pool of workers sized by the cores makes the
// pictures and pages, one item a worker at a time, and keeps the item
// numbering, the files and the failure report of a sequential run. Its
// states are the run states: 2 a picture failed, 6 a page or the title
// failed. MenuPageLayout is the page canvas, over the bitmap plug-in.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "disclib/vcd/DiscpakLibrary.h"
#include "engine/DriveAccess.h"
#include "platform/base/WorkRun.h"

namespace vexa::base {
class Clock;
}

namespace vexa::engine {

struct MenuTextStyle {
  std::int32_t size = 12;
  std::string font = "Arial";
  std::int32_t charset = 0;
  float scaleX = 0, scaleY = 0;
  std::int32_t colour = 0xFFFFFF;
  std::int32_t background = 0;
};

// The menu grid: origin, the pitch of rows and of columns, the cell, the
// picture in it and the picture's inset in the cell.
struct MenuGrid {
  std::int32_t originX = 0, originY = 0;
  std::int32_t rowPitch = 0, columnPitch = 0;
  std::int32_t cellWidth = 0, cellHeight = 0;
  std::int32_t pictureWidth = 0, pictureHeight = 0;
  std::int32_t insetX = 0, insetY = 0;
};

// One page: a bitmap of the plug-in, drawn then discarded.
class MenuPageLayout {
 public:
  MenuPageLayout(DISCPAK_LibObject* discpak, std::int32_t width, std::int32_t height, const MenuGrid* grid,
                 std::string emptyCellPicture, std::string framePicture);
  virtual ~MenuPageLayout();
  MenuPageLayout(const MenuPageLayout&) = delete;
  MenuPageLayout& operator=(const MenuPageLayout&) = delete;

  bool ok() const { return bitmap_ != nullptr; }
  virtual void SetTextStyle(const MenuTextStyle& style);
  virtual bool DrawBackground(const std::string& path);
  // The cell at (column, row): its frame, then the picture and the label;
  // without a picture the empty-cell picture.
  virtual bool DrawCell(const std::string* picture, std::int32_t column, std::int32_t row, const std::string& label);
  virtual bool DrawPicture(const std::string& picture, std::int32_t x, std::int32_t y, std::int32_t width,
                           std::int32_t height);
  virtual bool DrawText(const std::string& text);
  virtual bool GetDIB(const std::uint8_t** header, const std::uint8_t** bits);
  virtual bool WriteBMP(const std::string& file);

 private:
  bool TextAt(std::int32_t x, std::int32_t y, const std::string& text);

  DISCPAK_LibObject* discpak_;
  std::int32_t width_, height_;
  MenuGrid grid_;
  bool haveGrid_;
  std::string emptyCell_, frame_;
  MenuTextStyle style_;
  I_BasicBitmap* bitmap_ = nullptr;
};

class ThumbnailBrowser2 {
 public:
  ThumbnailBrowser2(DISCPAK_LibObject* discpak, DriveAccess* log, const base::Clock& clock);
  virtual ~ThumbnailBrowser2();
  ThumbnailBrowser2(const ThumbnailBrowser2&) = delete;
  ThumbnailBrowser2& operator=(const ThumbnailBrowser2&) = delete;

  // 2 PAL (704 x 576), anything else NTSC (704 x 480).
  virtual void SetVideoFormat(std::int32_t format);
  virtual std::int32_t Start(const char* workDirectory);
  virtual std::int32_t StartW(const char16_t* workDirectory);
  // Percent and seconds remaining; answers the done flag.
  virtual std::int32_t GetProgress(std::int32_t* percent, std::int32_t* remaining, std::int32_t* done);
  virtual void Cancel();
  virtual std::int32_t EstimateSeconds();
  virtual std::int32_t EstimateSectors();
  // The state; *name the failing picture ("" none).
  virtual std::int32_t GetResult(std::string* name);
  virtual std::int32_t GetResultW(std::u16string* name);
  virtual std::int32_t GetSegmentCount();
  // The i-th segment's file ("" beyond the count) and content byte.
  virtual std::string GetSegment(std::int32_t i, std::int32_t* contentByte);
  virtual void SetTitleWaitTime(std::int32_t seconds);
  virtual void SetTitleLines(const char* picture1, const char* picture2, std::int32_t x1, std::int32_t y1,
                             std::int32_t width1, std::int32_t height1, std::int32_t x2, std::int32_t y2,
                             std::int32_t width2, std::int32_t height2);
  virtual void SetTitleLinesW(const char16_t* picture1, const char16_t* picture2, std::int32_t x1, std::int32_t y1,
                              std::int32_t width1, std::int32_t height1, std::int32_t x2, std::int32_t y2,
                              std::int32_t width2, std::int32_t height2);
  virtual void SetTitleBackground(const char* path);
  virtual void SetTitleBackgroundW(const char16_t* path);
  virtual void SetMenuGrid(const MenuGrid& grid, const char* emptyCellPicture, const char* framePicture,
                           const char* pageBackground, std::int32_t thumbnailsPerPage);
  virtual void SetMenuGridW(const MenuGrid& grid, const char16_t* emptyCellPicture, const char16_t* framePicture,
                            const char16_t* pageBackground, std::int32_t thumbnailsPerPage);
  virtual void SetTextStyle(std::int32_t index, const char* font, std::int32_t size, std::int32_t charset,
                            float scaleX, float scaleY, std::int32_t colour, std::int32_t background);
  virtual void SetTextStyleW(std::int32_t index, const char16_t* font, std::int32_t size, std::int32_t charset,
                             float scaleX, float scaleY, std::int32_t colour, std::int32_t background);
  // 0 without a path, with 1000 pictures, or when the file does not open.
  virtual std::int32_t AddPicture(const char* path, const char* caption, std::int32_t flag);
  virtual std::int32_t AddPictureW(const char16_t* path, const char16_t* caption, std::int32_t flag);

  // Waits until the run is done or the time has passed; true when done.
  bool WaitDone(std::int32_t timeoutMs);
  // The items of the run (pictures, pages and the title) made so far and
  // planned (0 until the run has counted them).
  void GetItemProgress(std::int64_t* made, std::int64_t* planned) const;
  // Stops a run and removes every file made (a cancelled premaster keeps
  // none of its menus).
  void Discard();
  std::int32_t PictureCount() const { return static_cast<std::int32_t>(pictures_.size()); }
  // The menus' work as the time estimate counts it on the reference machine
  // (processor factor 1), in milliseconds and unrounded: two seconds an item
  // (the pictures, the thumbnail pages and the title).
  std::int64_t ReferenceWorkMs() const;
  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }
  // The workers of the next run (0, as at first: one a core, at most
  // kMaxWorkers). The files made are the same whatever the count.
  void SetWorkers(unsigned workers) { workers_ = workers; }

  static constexpr int kMaxPictures = 1000;
  static constexpr int kMaxSegments = 1980;
  // Each worker holds one item's pictures and encoder at a time.
  static constexpr unsigned kMaxWorkers = 8;

 private:
  struct Picture {
    std::string path;
    std::string caption;
    bool hasCaption = false;
    std::int32_t flag = 0;
  };
  struct Rect {
    std::string picture;
    std::int32_t x = 0, y = 0, width = 0, height = 0;
  };

  std::int64_t NowMs() const;
  void Log(const std::string& text);
  // The run's body; answers the run's state.
  std::int32_t Convert();
  bool EncodeStill(const std::uint8_t* header, const std::uint8_t* bits, const std::string& itemFile);
  bool MakePictureSegment(std::size_t i, const std::string& itemFile);
  bool MakePage(std::int32_t page, std::int32_t pages, std::int32_t rows, std::int32_t columns,
                const std::string& itemFile);
  bool MakeTitlePage(const std::string& itemFile);
  bool WritePlaySequence(std::int32_t pictures, std::int32_t pages);
  std::string ItemPath(std::int32_t number) const;
  void RemoveProducts();

  DISCPAK_LibObject* discpak_;
  DriveAccess* log_;
  const base::Clock& clock_;

  std::int32_t format_ = 0;
  std::int32_t width_ = 704, height_ = 480, mode_ = 2;
  std::int32_t perPage_ = 9;
  unsigned workers_ = 0;
  std::int32_t titleWait_ = 30;
  MenuTextStyle styles_[3];
  std::string titleBackground_;
  Rect titleLines_[2];
  MenuGrid grid_;
  bool haveGrid_ = false;
  std::string emptyCell_, frame_, pageBackground_;
  std::vector<Picture> pictures_;

  mutable std::mutex mutex_;  // guards segments, products and the work directory
  std::vector<std::pair<std::string, std::int32_t>> segments_;
  std::vector<std::string> products_;  // every file made, for the clean-up
  std::string workDirectory_;

  std::atomic<std::int64_t> startTick_{0};
  std::atomic<std::int64_t> lastTick_{0};
  std::atomic<std::int32_t> picturesDone_{0};
  std::atomic<std::int32_t> total_{0};
  // The run; its units of work are the items (pictures, pages, title).
  base::WorkRun run_;
};

}  // namespace vexa::engine
