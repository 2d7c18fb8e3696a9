// gallery-demo: the thumbnail control on a folder of photos.
//
//   gallery-demo FOLDER [--cache DIR] [--captions] [--screenshot FILE.png]
//                [--rotate-first] [--sort name|date|size|type|exif] [--reverse]
//   gallery-demo --fill-cache FOLDER CACHEDIR
//
// The window has buttons to rotate the selected photos, sort, remove and
// select all; photos reorder by dragging them. Events the control fires are
// printed. With --screenshot the window is saved once every thumbnail is in
// and the program ends. --fill-cache converts every photo of the folder into
// the cache, one after another as the control's worker does, and prints the
// time it took (bench/gallery-cache.sh compares it with vipsthumbnail).
#include <QApplication>
#include <QPixmap>
#include <QDir>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "gallery/DragDrop.h"
#include "gallery/ThumbnailCache.h"
#include "idl/VEXAThum.h"
#include "platform/base/Path.h"
#include "uicommon/common/ImageFile.h"

using namespace vexa::gallery;

using vexa::com::Bstr;
using vexa::com::ComPtr;
using vexa::com::Variant;

namespace {

constexpr char kProgram[] = "gallery-demo";

// The screenshot goes through the system's output file like every output.
bool SaveScreenshot(const QPixmap& shot, const std::string& path) {
  std::string why;
  if (vexa::ui::WriteImageFile(shot.toImage(), path, &why)) return true;
  std::fprintf(stderr, "%s: %s\n", kProgram, why.c_str());
  return false;
}

const char* EventName(DISPID id) {
  switch (id) {
    case DISPID_VEXATHUMEV_ZoomButtonClicked: return "ZoomButtonClicked";
    case DISPID_VEXATHUMEV_CloseButtonClicked: return "CloseButtonClicked";
    case DISPID_VEXATHUMEV_ClockwiseButtonClicked: return "ClockwiseButtonClicked";
    case DISPID_VEXATHUMEV_CounterClockwiseButtonClicked: return "CounterClockwiseButtonClicked";
    case DISPID_VEXATHUMEV_SelectionChanged: return "SelectionChanged";
    case DISPID_VEXATHUMEV_ContentsChanged: return "ContentsChanged";
    case DISPID_VEXATHUMEV_DoubleClick: return "DoubleClick";
    case DISPID_VEXATHUMEV_MouseDown: return "MouseDown";
    case DISPID_VEXATHUMEV_MouseUp: return "MouseUp";
    case DISPID_VEXATHUMEV_KeyUp: return "KeyUp";
    default: return "event";
  }
}

// The host's event sink: prints what the control says; the close button
// removes the photo, as the wizard does.
class Sink : public vexa::com::ComObjectRoot, public IDispatch {
 public:
  using Interfaces = vexa::com::InterfaceMap<IDispatch>;
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    long arg = 0;
    if (p && p->cArgs > 0) {
      Variant v;
      if (SUCCEEDED(VariantChangeType(&v, &p->rgvarg[p->cArgs - 1], 0, VT_I4))) arg = v.lVal;
    }
    if (id != DISPID_VEXATHUMEV_MouseDown && id != DISPID_VEXATHUMEV_MouseUp) {
      std::printf("%s %ld\n", EventName(id), arg);
      std::fflush(stdout);
    }
    if (id == DISPID_VEXATHUMEV_CloseButtonClicked && onClose) onClose(arg);
    return S_OK;
  }
  std::function<void(long)> onClose;
};

struct Host {
  ComPtr<IDispatch> control;
  Variant Call(DISPID id, std::vector<Variant> args = {}) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS p{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    Variant result;
    control->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &p, &result, nullptr, nullptr);
    return result;
  }
  void Put(DISPID id, Variant value) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS p{&value, &named, 1, 1};
    control->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &p, nullptr, nullptr, nullptr);
  }
};

int FillCache(const std::string& folder, const std::string& cacheDir) {
  std::filesystem::create_directories(cacheDir);
  CThumbnailCache& cache = CThumbnailCache::Instance();
  cache.SetCacheDir(cacheDir);
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    if (e.is_regular_file() && vexa::gallery::MatchesFilter(e.path().string(), vexa::gallery::SupportedFileFilter()))
      files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  const auto start = std::chrono::steady_clock::now();
  int made = 0;
  for (const std::string& f : files) made += !cache.CacheThumbnail(f, 0).empty();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d of %zu photos in %.3f s\n", made, files.size(), seconds);
  return made == static_cast<int>(files.size()) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder, cacheDir, screenshot, sort;
  bool captions = false, rotateFirst = false, reverse = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--fill-cache") && i + 2 < argc) return FillCache(argv[i + 1], argv[i + 2]);
    if (!std::strcmp(argv[i], "--cache") && i + 1 < argc) cacheDir = argv[++i];
    else if (!std::strcmp(argv[i], "--screenshot") && i + 1 < argc) screenshot = argv[++i];
    else if (!std::strcmp(argv[i], "--sort") && i + 1 < argc) sort = argv[++i];
    else if (!std::strcmp(argv[i], "--captions")) captions = true;
    else if (!std::strcmp(argv[i], "--rotate-first")) rotateFirst = true;
    else if (!std::strcmp(argv[i], "--reverse")) reverse = true;
    else if (argv[i][0] != '-' && folder.empty()) folder = argv[i];
    else {
      std::fprintf(stderr,
                   "usage: gallery-demo FOLDER [--cache DIR] [--captions] [--screenshot FILE.png]\n"
                   "                    [--rotate-first] [--sort name|date|size|type|exif] [--reverse]\n"
                   "       gallery-demo --fill-cache FOLDER CACHEDIR\n");
      return 2;
    }
  }
  if (folder.empty()) {
    std::fprintf(stderr, "gallery-demo: no folder of photos given\n");
    return 2;
  }
  QApplication app(argc, argv);
  CoInitialize(nullptr);
  if (cacheDir.empty()) cacheDir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "gallery-demo-cache");
  std::filesystem::create_directories(cacheDir);
  int status = 0;
  {
    Host host;
    if (FAILED(CoCreateInstance(CLSID_VEXAThumCtrl, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(host.control.Put())))) {
      std::fprintf(stderr, "gallery-demo: the thumbnail control is not registered\n");
      return 1;
    }
    vexa::com::ComObject<Sink>* sinkObject = nullptr;
    vexa::com::ComObject<Sink>::CreateInstance(&sinkObject);
    ComPtr<Sink> sink = ComPtr<Sink>::Attach(sinkObject);
    sink->onClose = [&host](long id) { host.Call(DISPID_VEXATHUM_RemoveThumb, {Variant::I4(id)}); };
    ComPtr<IConnectionPointContainer> cpc;
    host.control->QueryInterface(cpc.Put());
    ComPtr<IConnectionPoint> cp;
    DWORD cookie = 0;
    if (cpc && SUCCEEDED(cpc->FindConnectionPoint(IID__DVEXAThumEvents, cp.Put())))
      cp->Advise(static_cast<IDispatch*>(sink.Get()), &cookie);

    host.Put(DISPID_VEXATHUM_CacheDir, Variant::Utf8(cacheDir));
    host.Put(DISPID_VEXATHUM_ShowRotateButtons, Variant::Bool(true));
    host.Put(DISPID_VEXATHUM_ShowRemoveButton, Variant::Bool(true));
    host.Put(DISPID_VEXATHUM_ShowZoomButton, Variant::Bool(true));
    host.Put(DISPID_VEXATHUM_ShowCaptions, Variant::Bool(captions));

    QWidget window;
    window.setWindowTitle("gallery-demo");
    window.resize(640, 480);
    auto* layout = new QVBoxLayout(&window);
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    auto* area = new QWidget(&window);
    area->setMinimumSize(600, 400);
    layout->addWidget(area, 1);
    ComPtr<IVexaControlWindow> controlWindow;
    host.control->QueryInterface(controlWindow.Put());
    controlWindow->CreateControlWindow(area, 0, 0, 600, 400);
    void* widget = nullptr;
    controlWindow->GetControlWindow(&widget);
    auto* controlWidget = static_cast<QWidget*>(widget);
    auto* areaLayout = new QVBoxLayout(area);
    areaLayout->setContentsMargins(0, 0, 0, 0);
    areaLayout->addWidget(controlWidget);

    auto addButton = [&](const char* text, std::function<void()> action) {
      auto* b = new QPushButton(QString::fromUtf8(text), &window);
      QObject::connect(b, &QPushButton::clicked, b, action);
      buttons->addWidget(b);
    };
    auto rotateSelection = [&host](int degrees) {
      Variant ids = host.Call(DISPID_VEXATHUM_GetSelection);
      if (ids.vt == VT_ARRAY) host.Call(DISPID_VEXATHUM_RotateThumbs, {ids, Variant::I4(degrees)});
    };
    addButton("Rotate left", [=] { rotateSelection(-90); });
    addButton("Rotate right", [=] { rotateSelection(90); });
    addButton("Sort by name", [&] { host.Call(DISPID_VEXATHUM_SortByNameForward); });
    addButton("Sort by date", [&] { host.Call(DISPID_VEXATHUM_SortByExifDateForward); });
    addButton("Select all", [&] { host.Call(DISPID_VEXATHUM_SelectAll); });
    addButton("Remove", [&] { host.Call(DISPID_VEXATHUM_RemoveSelection); });

    host.Call(DISPID_VEXATHUM_AddDirectoryFiltered,
              {Variant::Utf8(folder), Variant::Utf8(vexa::gallery::SupportedFileFilter())});
    window.show();

    const std::map<std::string, DISPID> sorts = {
        {"name", DISPID_VEXATHUM_SortByNameForward},     {"date", DISPID_VEXATHUM_SortByTimestampForward},
        {"size", DISPID_VEXATHUM_SortByFileSizeForward}, {"type", DISPID_VEXATHUM_SortByFileTypeForward},
        {"exif", DISPID_VEXATHUM_SortByExifDateForward}};
    // The sort and the turn are made once the control has drawn its gallery.
    auto* actions = new QTimer(&window);
    QObject::connect(actions, &QTimer::timeout, &window, [&, actions] {
      Variant ids = host.Call(DISPID_VEXATHUM_GetAllIndices);
      if (ids.vt != VT_ARRAY) return;
      actions->stop();
      if (!sort.empty() && sorts.count(sort)) host.Call(sorts.at(sort) + (reverse ? 1 : 0));
      if (rotateFirst && ids.parray->rgsabound[0].cElements > 0) {
        LONG first = 0, index = 0;
        SafeArrayGetElement(ids.parray, &index, &first);
        host.Call(DISPID_VEXATHUM_RotateThumb, {Variant::I4(first), Variant::I4(90)});
      }
    });
    actions->start(50);
    if (!screenshot.empty()) {
      // Saved once the cache has stopped growing for a second (a minute at
      // most): every photo that can be read has its thumbnail by then.
      auto* timer = new QTimer(&window);
      QElapsedTimer waited, still;
      waited.start();
      still.start();
      long lastFiles = -1;
      QObject::connect(timer, &QTimer::timeout, &window, [&, timer, waited, still, lastFiles]() mutable {
        long files = 0;
        for (const auto& e : std::filesystem::directory_iterator(cacheDir)) files += e.path().extension() == ".bmp";
        if (files != lastFiles) {
          lastFiles = files;
          still.restart();
        }
        if (actions->isActive() || ((files == 0 || still.elapsed() < 1000) && waited.elapsed() < 60000)) return;
        timer->stop();
        QTimer::singleShot(300, &window, [&] {
          if (!SaveScreenshot(window.grab(), screenshot)) status = 1;
          app.quit();
        });
      });
      timer->start(100);
    }
    app.exec();
    if (cp) cp->Unadvise(cookie);
  }
  CoUninitialize();
  return status;
}
