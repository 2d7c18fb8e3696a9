#include "platform/imaging/BitmapHandle.h"

#include <memory>
#include <mutex>
#include <unordered_map>

namespace vexa::imaging {
namespace {

struct Handles {
  std::mutex mutex;
  std::unordered_map<HBITMAP, std::unique_ptr<Bitmap>> live;
};

Handles& Table() {
  static Handles* table = new Handles;  // lives as long as the process
  return *table;
}

}  // namespace

HBITMAP CreateBitmapHandle(Bitmap bitmap) {
  if (bitmap.empty()) return nullptr;
  auto owned = std::make_unique<Bitmap>(std::move(bitmap));
  HBITMAP h = reinterpret_cast<HBITMAP>(owned.get());
  Handles& t = Table();
  std::lock_guard lock(t.mutex);
  t.live.emplace(h, std::move(owned));
  return h;
}

const Bitmap* BitmapFromHandle(HBITMAP handle) {
  Handles& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.live.find(handle);
  return it == t.live.end() ? nullptr : it->second.get();
}

bool DeleteBitmapHandle(HBITMAP handle) {
  std::unique_ptr<Bitmap> doomed;
  Handles& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.live.find(handle);
  if (it == t.live.end()) return false;
  doomed = std::move(it->second);
  t.live.erase(it);
  return true;
}

}  // namespace vexa::imaging

int DeleteObject(HBITMAP handle) { return vexa::imaging::DeleteBitmapHandle(handle) ? 1 : 0; }
