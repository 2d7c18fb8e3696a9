// The thumbnail control as its host reaches it: created by class id through
// the component core, called through IDispatch by DISPID, its events
// recorded by a sink registered at its connection point, its window
// embedded and clicked with QTest.
#include <QApplication>
#include <QHelpEvent>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <QToolTip>
#include <filesystem>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>

#include "gallery/DragDrop.h"
#include "gallery/Thumbnails.h"
#include "idl/VEXAThum.h"
#include "uicommon/tests/FilePickerProbe.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::gallery;
using namespace vexa::ui;

using namespace vexa::ui::testing;
using vexa::com::Bstr;
using vexa::com::ComPtr;
using vexa::com::Variant;

namespace {

// A sink that records the events by DISPID, with the first argument.
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
    events.push_back(id);
    long arg = 0;
    if (p && p->cArgs > 0) {
      Variant v;
      if (SUCCEEDED(VariantChangeType(&v, &p->rgvarg[p->cArgs - 1], 0, VT_I4))) arg = v.lVal;
    }
    args.push_back(arg);
    if (onEvent) onEvent(id, arg);
    return S_OK;
  }
  int Count(DISPID id) const { return static_cast<int>(std::count(events.begin(), events.end(), id)); }
  std::vector<DISPID> events;
  std::vector<long> args;
  // What the host does on an event, as it arrives.
  std::function<void(DISPID, long)> onEvent;
};

Variant List(const std::vector<std::string>& items, VARTYPE typeWord = VT_ARRAY) {
  vexa::com::SafeArray sa(VT_BSTR, static_cast<ULONG>(items.size()));
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i)
    SafeArrayPutElement(sa.Get(), &i, Bstr::FromUtf8(items[static_cast<std::size_t>(i)]).Get());
  Variant v;
  v.vt = typeWord;
  v.parray = sa.Detach();
  return v;
}

Variant IntList(const std::vector<int>& items, VARTYPE typeWord = VT_ARRAY) {
  vexa::com::SafeArray sa(VT_I4, static_cast<ULONG>(items.size()));
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
    LONG value = items[static_cast<std::size_t>(i)];
    SafeArrayPutElement(sa.Get(), &i, &value);
  }
  Variant v;
  v.vt = typeWord;
  v.parray = sa.Detach();
  return v;
}

std::vector<std::string> Strings(const Variant& v) {
  std::vector<std::string> out;
  if (v.vt != VT_ARRAY) return out;
  LONG lo = 0, hi = -1;
  SafeArrayGetLBound(v.parray, 1, &lo);
  SafeArrayGetUBound(v.parray, 1, &hi);
  for (LONG i = lo; i <= hi; ++i) {
    BSTR b = nullptr;
    SafeArrayGetElement(v.parray, &i, &b);
    out.push_back(vexa::com::BstrToUtf8(b));
    SysFreeString(b);
  }
  return out;
}

std::vector<int> Ints(const Variant& v) {
  std::vector<int> out;
  if (v.vt != VT_ARRAY) return out;
  LONG lo = 0, hi = -1;
  SafeArrayGetLBound(v.parray, 1, &lo);
  SafeArrayGetUBound(v.parray, 1, &hi);
  for (LONG i = lo; i <= hi; ++i) {
    LONG x = 0;
    SafeArrayGetElement(v.parray, &i, &x);
    out.push_back(x);
  }
  return out;
}

class ControlTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    std::filesystem::create_directories(m_temp.Path("cache"));
  }
  void TearDown() override {
    m_hosts.clear();
    CoUninitialize();
    UiTest::TearDown();
  }

  struct Control {
    ComPtr<IDispatch> dispatch;
    ComPtr<Sink> sink;
    QWidget* window = nullptr;
  };

  // A control created by class id, its events sunk; with `show` its window
  // is embedded in a host window and drawn once (which makes the gallery).
  Control Make(bool show = true, QSize size = QSize(420, 320)) {
    Control c;
    EXPECT_EQ(CoCreateInstance(CLSID_VEXAThumCtrl, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(c.dispatch.Put())),
              S_OK);
    if (!c.dispatch) return c;
    vexa::com::ComObject<Sink>* sink = nullptr;
    vexa::com::ComObject<Sink>::CreateInstance(&sink);
    c.sink = ComPtr<Sink>::Attach(sink);
    ComPtr<IConnectionPointContainer> cpc;
    c.dispatch->QueryInterface(cpc.Put());
    ComPtr<IConnectionPoint> cp;
    EXPECT_EQ(cpc->FindConnectionPoint(IID__DVEXAThumEvents, cp.Put()), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(cp->Advise(static_cast<IDispatch*>(c.sink.Get()), &cookie), S_OK);
    Put(c, DISPID_VEXATHUM_CacheDir, Variant::Utf8(m_temp.Path("cache")));
    if (show) Show(c, size);
    return c;
  }

  void Show(Control& c, QSize size = QSize(420, 320)) {
    auto host = std::make_unique<QWidget>();
    host->resize(size);
    ComPtr<IVexaControlWindow> win;
    c.dispatch->QueryInterface(win.Put());
    win->CreateControlWindow(host.get(), 0, 0, size.width(), size.height());
    void* widget = nullptr;
    win->GetControlWindow(&widget);
    c.window = static_cast<QWidget*>(widget);
    host->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(host.get()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Thumbnails(c).size() > 0 || Gallery(c) != nullptr; }, kWaitBoundMs))
        << InVain("the control's gallery to show");
    m_hosts.push_back(std::move(host));
  }

  static QWidget* Gallery(const Control& c) {
    if (!c.window) return nullptr;
    for (QWidget* w : c.window->findChildren<QWidget*>())
      if (QString(w->metaObject()->className()) == "vexa::gallery::CSelectGallery") return w;
    return nullptr;
  }
  static std::vector<QWidget*> Thumbnails(const Control& c) {
    std::vector<QWidget*> out;
    if (!c.window) return out;
    for (QWidget* w : c.window->findChildren<QWidget*>())
      if (QString(w->metaObject()->className()) == "vexa::gallery::CSelectThumbnail") out.push_back(w);
    return out;
  }
  static QWidget* Thumbnail(const Control& c, int id) {
    for (QWidget* w : Thumbnails(c))
      if (w->property("controlId").toInt() == id + 300) return w;
    return nullptr;
  }

  static Variant Call(const Control& c, DISPID id, std::vector<Variant> args = {}) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS p{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    Variant result;
    const HRESULT hr = c.dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &p, &result, nullptr, nullptr);
    EXPECT_EQ(hr, S_OK) << "DISPID " << id;
    return result;
  }
  static void Put(const Control& c, DISPID id, Variant value) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS p{&value, &named, 1, 1};
    EXPECT_EQ(c.dispatch->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &p, nullptr, nullptr, nullptr), S_OK);
  }
  static bool True(const Variant& v) { return v.vt == VT_BOOL && v.boolVal == VARIANT_TRUE; }
  static long Long(const Variant& v) {
    Variant c;
    VariantChangeType(&c, &v, 0, VT_I4);
    return c.lVal;
  }

  std::string Photo(const std::string& name, int w = 320, int h = 240, QColor color = QColor(40, 120, 200)) {
    const std::string path = m_temp.Path(name);
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    image.save(QString::fromStdString(path), "JPG", 80);
    return path;
  }
  Variant AddFiles(Control& c, const std::vector<std::string>& paths, long index,
                   std::vector<int> rotations = {}) {
    if (rotations.empty()) rotations.assign(paths.size(), 0);
    return Call(c, DISPID_VEXATHUM_AddMultipleFiles, {List(paths), IntList(rotations), Variant::I4(index)});
  }

  // A drag entering the widget and dropping there; false when the entry
  // was refused.
  static bool DropOn(QWidget* target, QMimeData* data, QPoint at) {
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), enter.dropAction(), data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
  }

  std::vector<std::unique_ptr<QWidget>> m_hosts;
};

TEST_F(ControlTest, AdditionsBeforeTheFirstDrawAppearOnIt) {
  Control c = Make(false);
  const std::string a = Photo("a.jpg"), b = Photo("b.jpg");
  EXPECT_TRUE(True(AddFiles(c, {a, b}, 0, {90, -90})));
  EXPECT_EQ(Call(c, DISPID_VEXATHUM_GetAllIndices).vt, VT_NULL);  // no gallery yet
  EXPECT_EQ(Strings(Call(c, DISPID_VEXATHUM_GetAllFilePaths)), (std::vector<std::string>{a, b}));
  EXPECT_EQ(Ints(Call(c, DISPID_VEXATHUM_GetAllRotations)), (std::vector<int>{90, 270}));
  EXPECT_EQ(Long(Call(c, DISPID_VEXATHUM_GetFirstSelected)), -1);
  Show(c);
  EXPECT_EQ(Ints(Call(c, DISPID_VEXATHUM_GetAllIndices)).size(), 2u);
  EXPECT_EQ(Strings(Call(c, DISPID_VEXATHUM_GetAllFilePaths)), (std::vector<std::string>{a, b}));
  EXPECT_EQ(Ints(Call(c, DISPID_VEXATHUM_GetAllRotations)), (std::vector<int>{90, 270}));
  EXPECT_EQ(c.sink->Count(DISPID_VEXATHUMEV_ContentsChanged), 1);
}

TEST_F(ControlTest, ListsMustBePlainArrays) {
  Control c = Make();
  const std::string a = Photo("a.jpg");
  Variant typed = Call(c, DISPID_VEXATHUM_AddMultipleFiles,
                       {List({a}, VT_ARRAY | VT_BSTR), IntList({0}), Variant::I4(-1)});
  EXPECT_FALSE(True(typed));
  EXPECT_EQ(Long(Call(c, DISPID_VEXATHUM_GetThumbCount)), 0);
  EXPECT_TRUE(True(AddFiles(c, {a}, -1)));
  const auto ids = Ints(Call(c, DISPID_VEXATHUM_GetAllIndices));
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_FALSE(True(Call(c, DISPID_VEXATHUM_RotateThumbs, {IntList(ids, VT_ARRAY | VT_I4), Variant::I4(90)})));
  EXPECT_TRUE(True(Call(c, DISPID_VEXATHUM_RotateThumbs, {IntList(ids), Variant::I4(90)})));
  EXPECT_EQ(Long(Call(c, DISPID_VEXATHUM_GetThumbRotation, {Variant::I4(ids[0])})), 90);
  // One event per change.
  EXPECT_EQ(c.sink->Count(DISPID_VEXATHUMEV_ContentsChanged), 2);
}

TEST_F(ControlTest, InsertRemoveRotateAndConvertPositions) {
  Control c = Make();
  const std::string a = Photo("a.jpg"), b = Photo("b.jpg"), x = Photo("x.jpg"), y = Photo("y.jpg"),
                    z = Photo("z.jpg");
  AddFiles(c, {a, b}, -1);
  auto ids = Ints(Call(c, DISPID_VEXATHUM_GetAllIndices));
  AddFiles(c, {x}, 0);                // the front
  AddFiles(c, {y}, ids[0]);           // after a
  AddFiles(c, {z}, -1);               // the end
  EXPECT_EQ(Strings(Call(c, DISPID_VEXATHUM_GetAllFilePaths)), (std::vector<std::string>{x, a, y, b, z}));
  ids = Ints(Call(c, DISPID_VEXATHUM_GetAllIndices));
  EXPECT_EQ(Long(Call(c, DISPID_VEXATHUM_BeforeToAfter, {Variant::I4(0)})), -1);
  EXPECT_EQ(Long(Call(c, DISPID_VEXATHUM_BeforeToAfter, {Variant::I4(ids[0])})), 0);
  EXPECT_EQ(Long(Call(c, DISPID_VEXATHUM_BeforeToAfter, {Variant::I4(ids[2])})), ids[1]);

  // -90 is kept as 270; an unknown id is refused.
  EXPECT_TRUE(True(Call(c, DISPID_VEXATHUM_RotateThumb, {Variant::I4(ids[1]), Variant::I4(-90)})));
  EXPECT_EQ(Long(Call(c, DISPID_VEXATHUM_GetThumbRotation, {Variant::I4(ids[1])})), 270);
  EXPECT_FALSE(True(Call(c, DISPID_VEXATHUM_RotateThumb, {Variant::I4(999), Variant::I4(90)})));
  EXPECT_EQ(Call(c, DISPID_VEXATHUM_GetThumbFilePath, {Variant::I4(999)}).bstrVal == nullptr ||
                vexa::com::BstrToUtf8(Call(c, DISPID_VEXATHUM_GetThumbFilePath, {Variant::I4(999)}).bstrVal).empty(),
            true);

  EXPECT_TRUE(True(Call(c, DISPID_VEXATHUM_RemoveThumb, {Variant::I4(ids[0])})));
  EXPECT_EQ(Strings(Call(c, DISPID_VEXATHUM_GetAllFilePaths)), (std::vector<std::string>{a, y, b, z}));
  const int events = c.sink->Count(DISPID_VEXATHUMEV_ContentsChanged);
  EXPECT_EQ(events, 4 + 1 + 1);  // four additions, a rotation, a removal
  EXPECT_TRUE(True(Call(c, DISPID_VEXATHUM_Clear)));
  EXPECT_EQ(Long(Call(c, DISPID_VEXATHUM_GetThumbCount)), 0);
  EXPECT_EQ(c.sink->Count(DISPID_VEXATHUMEV_ContentsChanged), events + 1);
}

TEST_F(ControlTest, SortsRunAscendingForwardForEveryKey) {
  Control c = Make();
  // Names, times, sizes and types that disagree with each other.
  const std::string big = Photo("c.jpg", 900, 700, QColor(200, 30, 30));
  const std::string mid = Photo("B.png", 400, 300, QColor(30, 200, 30));
  const std::string small = Photo("a.jpg", 40, 30, QColor(30, 30, 200));
  QImage png(400, 300, QImage::Format_RGB32);
  png.fill(QColor(30, 200, 30));
  png.save(QString::fromStdString(mid), "PNG");
  // Sizes fixed by padding after the picture's end (readers stop there).
  auto padTo = [](const std::string& p, std::size_t size) {
    std::string bytes = ReadAll(p);
    ASSERT_LT(bytes.size(), size);
    bytes.resize(size, '\0');
    WriteAll(p, bytes);
  };
  padTo(small, 20000);
  padTo(mid, 50000);
  padTo(big, 200000);
  auto setTime = [](const std::string& p, long t) {
    struct timespec ts[2] = {{t, 0}, {t, 0}};
    ::utimensat(AT_FDCWD, p.c_str(), ts, 0);
  };
  setTime(big, 1000000);
  setTime(mid, 3000000);
  setTime(small, 2000000);
  AddFiles(c, {mid, big, small}, -1);
  const struct {
    DISPID sort;
    std::vector<std::string> expect;
  } cases[] = {
      {DISPID_VEXATHUM_SortByNameForward, {small, mid, big}},       // a, B, c: case ignored
      {DISPID_VEXATHUM_SortByNameReverse, {big, mid, small}},
      {DISPID_VEXATHUM_SortByTimestampForward, {big, small, mid}},  // oldest first
      {DISPID_VEXATHUM_SortByTimestampReverse, {mid, small, big}},
      {DISPID_VEXATHUM_SortByFileSizeForward, {small, mid, big}},
      {DISPID_VEXATHUM_SortByFileSizeReverse, {big, mid, small}},
      {DISPID_VEXATHUM_SortByFileTypeForward, {big, small, mid}},   // .jpg before .png, stable
      {DISPID_VEXATHUM_SortByFileTypeReverse, {mid, big, small}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.sort);
    EXPECT_TRUE(True(Call(c, k.sort)));
    EXPECT_EQ(Strings(Call(c, DISPID_VEXATHUM_GetAllFilePaths)), k.expect);
  }
  EXPECT_TRUE(True(Call(c, DISPID_VEXATHUM_CanSortByExifDate)));
  // No photo has a capture date: all "9999", the order stays.
  const auto before = Strings(Call(c, DISPID_VEXATHUM_GetAllFilePaths));
  EXPECT_TRUE(True(Call(c, DISPID_VEXATHUM_SortByExifDateForward)));
  EXPECT_EQ(Strings(Call(c, DISPID_VEXATHUM_GetAllFilePaths)), before);
}

// The capture dates are read with the thumbnails, on the workers' threads; a
// sort by picture date made before they have all come reads the others
// then. A FIFO named like a picture among the photos is never opened (it
// would stop its reader for good).
TEST_F(ControlTest, PictureDatesSortAndAFifoAmongThePhotosIsNeverOpened) {
  VEXA_UI_REQUIRE_TOOL("/usr/bin/exiftool");
  Control c = Make();
  const std::string late = Photo("late.jpg"), none = Photo("none.jpg"), early = Photo("early.jpg");
  for (const auto& [photo, date] : {std::pair{late, "2003:05:01 10:00:00"}, std::pair{early, "2001:01:01 09:30:00"}})
    ASSERT_EQ(RunCommand("/usr/bin/exiftool -q -overwrite_original '-DateTimeOriginal=" + std::string(date) + "' " +
                         Quote(photo)),
              0);
  FifoTrap fifo(m_temp.Path("pipe.jpg"));
  const std::vector<std::string> added = {late, fifo.Path(), none, early};
  // Sorted at once, and again once every worker has read its photos.
  const std::vector<std::string> byDate = {early, late, fifo.Path(), none};
  AddFiles(c, added, -1);
  EXPECT_TRUE(True(Call(c, DISPID_VEXATHUM_SortByExifDateForward)));
  EXPECT_EQ(Strings(Call(c, DISPID_VEXATHUM_GetAllFilePaths)), byDate);
  EXPECT_TRUE(True(Call(c, DISPID_VEXATHUM_Clear)));
  AddFiles(c, added, -1);
  auto bmpCount = [&] {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(m_temp.Path("cache"))) n += e.path().extension() == ".bmp";
    return n;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return bmpCount() == 3; }, kWaitBoundMs))
      << InVain("three thumbnail files in the cache") << "; there are " << bmpCount();
  QApplication::processEvents();
  EXPECT_TRUE(True(Call(c, DISPID_VEXATHUM_SortByExifDateReverse)));
  EXPECT_EQ(Strings(Call(c, DISPID_VEXATHUM_GetAllFilePaths)),
            (std::vector<std::string>{fifo.Path(), none, late, early}));
  c.dispatch.Reset();
  c.sink.Reset();
  QApplication::processEvents();
  EXPECT_EQ(fifo.Fault(), "");
}

TEST_F(ControlTest, SelectionsByClickAndMovingThem) {
  Control c = Make();
  std::vector<std::string> paths;
  for (int i = 0; i < 5; ++i) paths.push_back(Photo("p" + std::to_string(i) + ".jpg"));
  AddFiles(c, paths, -1);
  const auto ids = Ints(Call(c, DISPID_VEXATHUM_GetAllIndices));
  EXPECT_EQ(Long(Call(c, DISPID_VEXATHUM_GetFirstSelected)), 0);
  QTest::mouseClick(Thumbnail(c, ids[1]), Qt::LeftButton, {}, QPoint(50, 50));
  QTest::mouseClick(Thumbnail(c, ids[3]), Qt::LeftButton, Qt::ShiftModifier, QPoint(50, 50));
  EXPECT_EQ(Ints(Call(c, DISPID_VEXATHUM_GetSelection)), (std::vector<int>{ids[1], ids[2], ids[3]}));
  QTest::mouseClick(Thumbnail(c, ids[2]), Qt::LeftButton, Qt::ControlModifier, QPoint(50, 50));
  EXPECT_EQ(Ints(Call(c, DISPID_VEXATHUM_GetSelection)), (std::vector<int>{ids[1], ids[3]}));
  EXPECT_EQ(Long(Call(c, DISPID_VEXATHUM_GetSelectionCount)), 2);
  EXPECT_FALSE(True(Call(c, DISPID_VEXATHUM_IsSingleSelection)));
  EXPECT_EQ(Strings(Call(c, DISPID_VEXATHUM_GetSelectionFilePaths)), (std::vector<std::string>{paths[1], paths[3]}));
  EXPECT_GT(c.sink->Count(DISPID_VEXATHUMEV_SelectionChanged), 0);
  EXPECT_GT(c.sink->Count(DISPID_VEXATHUMEV_MouseDown), 0);

  // One place later, then to the front.
  EXPECT_TRUE(True(Call(c, DISPID_VEXATHUM_MoveSelection, {Variant::I2(0)})));
  // The block goes before the first unselected photo after the one that
  // follows it: here the end.
  EXPECT_EQ(Ints(Call(c, DISPID_VEXATHUM_GetAllIndices)), (std::vector<int>{ids[0], ids[2], ids[4], ids[1], ids[3]}));
  EXPECT_TRUE(True(Call(c, DISPID_VEXATHUM_MoveSelectionTo, {Variant::I4(0)})));
  EXPECT_EQ(Ints(Call(c, DISPID_VEXATHUM_GetAllIndices)), (std::vector<int>{ids[1], ids[3], ids[0], ids[2], ids[4]}));
  EXPECT_FALSE(True(Call(c, DISPID_VEXATHUM_MoveSelectionTo, {Variant::I4(777)})));

  // Removing the selection gives the rest new ids, in order, with their rotations.
  Call(c, DISPID_VEXATHUM_RotateThumb, {Variant::I4(ids[2]), Variant::I4(180)});
  EXPECT_TRUE(True(Call(c, DISPID_VEXATHUM_RemoveSelection)));
  const auto after = Ints(Call(c, DISPID_VEXATHUM_GetAllIndices));
  ASSERT_EQ(after.size(), 3u);
  for (int id : after) EXPECT_GT(id, ids[4]);
  EXPECT_EQ(Strings(Call(c, DISPID_VEXATHUM_GetAllFilePaths)), (std::vector<std::string>{paths[0], paths[2], paths[4]}));
  EXPECT_EQ(Ints(Call(c, DISPID_VEXATHUM_GetAllRotations)), (std::vector<int>{0, 180, 0}));
}

TEST_F(ControlTest, WorkersFillTheCacheAndClearingStopsThem) {
  Control c = Make();
  std::vector<std::string> paths;
  for (int i = 0; i < 6; ++i) paths.push_back(Photo("w" + std::to_string(i) + ".jpg", 3000, 2000, QColor(20 * i, 90, 140)));
  paths.push_back(m_temp.Path("broken.jpg"));
  WriteAll(paths.back(), "not a picture");
  AddFiles(c, paths, -1);
  // Every photo gets its thumbnail file, the broken one none.
  auto bmpCount = [&] {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(m_temp.Path("cache"))) n += e.path().extension() == ".bmp";
    return n;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return bmpCount() == 6; }, kWaitBoundMs))
      << InVain("six thumbnail files in the cache") << "; there are " << bmpCount();
  // The broken one shows the placeholder and says why under the pointer;
  // so does a file that is not there, added on its own.
  const std::vector<int> ids = Ints(Call(c, DISPID_VEXATHUM_GetAllIndices));
  ASSERT_EQ(ids.size(), 7u);
  // The tip the user sees with the pointer over the middle of the photo.
  auto tip = [&](int id) {
    QWidget* w = Thumbnail(c, id);
    if (!w) return std::string("no window");
    QHelpEvent help(QEvent::ToolTip, QPoint(58, 58), w->mapToGlobal(QPoint(58, 58)));
    QApplication::sendEvent(w, &help);
    return QToolTip::text().toStdString();
  };
  const std::string notAPicture = "This picture cannot be shown: the file is not a kind of picture this program reads.";
  ASSERT_TRUE(QTest::qWaitFor([&] { return tip(ids[6]) == notAPicture; }, kWaitBoundMs))
      << InVain("the broken file's tip") << "; it says: " << tip(ids[6]);
  EXPECT_EQ(tip(ids[0]), "Click here to select this image");
  Call(c, DISPID_VEXATHUM_AddFile, {Variant::Utf8(m_temp.Path("gone.jpg")), Variant::I4(-1)});
  const std::vector<int> withGone = Ints(Call(c, DISPID_VEXATHUM_GetAllIndices));
  ASSERT_EQ(withGone.size(), 8u);
  EXPECT_EQ(tip(withGone.back()), "This picture cannot be shown: its file is not there any more.");
  // A batch cleared while its worker runs, and a control released with one running.
  std::vector<std::string> more;
  for (int i = 0; i < 12; ++i) more.push_back(Photo("m" + std::to_string(i) + ".jpg", 2400, 1600));
  AddFiles(c, more, -1);
  EXPECT_TRUE(True(Call(c, DISPID_VEXATHUM_Clear)));
  EXPECT_EQ(Long(Call(c, DISPID_VEXATHUM_GetThumbCount)), 0);
  QApplication::processEvents();
  AddFiles(c, more, -1);
  c.dispatch.Reset();
  c.sink.Reset();
  QApplication::processEvents();
}

TEST_F(ControlTest, CornerButtonsRotateAndKeysAreEvents) {
  Control c = Make();
  Put(c, DISPID_VEXATHUM_ShowRotateButtons, Variant::Bool(true));
  Put(c, DISPID_VEXATHUM_ShowRemoveButton, Variant::Bool(true));
  AddFiles(c, {Photo("r.jpg")}, -1);
  const int id = Ints(Call(c, DISPID_VEXATHUM_GetAllIndices)).at(0);
  QWidget* thumb = Thumbnail(c, id);
  ASSERT_NE(thumb, nullptr);
  QTest::mouseMove(thumb, QPoint(60, 60));
  // The clockwise corner button of an unselected photo: id 6 at (93, 93).
  QWidget* button = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (button = thumb->childAt(QPoint(100, 100))) != nullptr; }, kWaitBoundMs))
      << InVain("the corner button under the pointer");
  EXPECT_EQ(button->property("controlId").toInt(), 306);
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, 8));
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.sink->Count(DISPID_VEXATHUMEV_ClockwiseButtonClicked) == 1; }, kWaitBoundMs))
      << InVain("one clockwise-button event") << "; there are " << c.sink->Count(DISPID_VEXATHUMEV_ClockwiseButtonClicked);
  EXPECT_EQ(Long(Call(c, DISPID_VEXATHUM_GetThumbRotation, {Variant::I4(id)})), 90);
  QTest::keyClick(Gallery(c), Qt::Key_A);
  EXPECT_EQ(c.sink->Count(DISPID_VEXATHUMEV_KeyDown), 1);
  EXPECT_EQ(c.sink->Count(DISPID_VEXATHUMEV_KeyPress), 1);
  EXPECT_EQ(c.sink->Count(DISPID_VEXATHUMEV_KeyUp), 1);
}

TEST_F(ControlTest, DropsAndCopyPasteBetweenTwoControls) {
  Control a = Make(), b = Make();
  const std::string p1 = Photo("one.jpg"), p2 = Photo("two.jpg"), p3 = Photo("three.jpg");
  AddFiles(a, {p1, p2}, -1);
  AddFiles(b, {p3}, -1);
  // A drop of A's own format on B: the files come in after the photo before the point.
  const auto aIds = Ints(Call(a, DISPID_VEXATHUM_GetAllIndices));
  QWidget* galleryB = Gallery(b);
  ASSERT_NE(galleryB, nullptr);
  QWidget* document = galleryB->findChild<QWidget*>();
  for (QWidget* w : galleryB->findChildren<QWidget*>())
    if (w->acceptDrops()) document = w;
  QMimeData data;
  vexa::gallery::SetFileList(&data, {p1});
  data.setData(vexa::gallery::kGalleryFormat, vexa::gallery::EncodeGalleryFormat(12345, {aIds[0]}));
  DropOn(document, &data, QPoint(300, 50));
  EXPECT_EQ(Strings(Call(b, DISPID_VEXATHUM_GetAllFilePaths)), (std::vector<std::string>{p3, p1}));
  // Desktop files are refused while external drops are off.
  QMimeData desktop;
  vexa::gallery::SetFileList(&desktop, {p2});
  EXPECT_FALSE(DropOn(document, &desktop, QPoint(10, 10)));
  EXPECT_EQ(Long(Call(b, DISPID_VEXATHUM_GetThumbCount)), 2);

  // Copy in A (Ctrl+C), paste in B (Ctrl+V): after B's last selected photo.
  QTest::mouseClick(Thumbnail(a, aIds[1]), Qt::LeftButton, {}, QPoint(50, 50));
  QTest::keyClick(Gallery(a), Qt::Key_C, Qt::ControlModifier);
  const auto bIds = Ints(Call(b, DISPID_VEXATHUM_GetAllIndices));
  QTest::mouseClick(Thumbnail(b, bIds[0]), Qt::LeftButton, {}, QPoint(50, 50));
  QTest::keyClick(Gallery(b), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Strings(Call(b, DISPID_VEXATHUM_GetAllFilePaths)), (std::vector<std::string>{p3, p2, p1}));
  const QMimeData* clip = QApplication::clipboard()->mimeData();
  ASSERT_NE(clip, nullptr);
  EXPECT_TRUE(clip->hasFormat(vexa::gallery::kCopiedFilesFormat));
}

// ---- The pointer over the corner buttons ------------------------------------------------

// Where the wizard puts the control, with the switches it turns on there:
// the pictures page and the album pane of the add-images dialog turn, zoom
// and remove (with captions, or without once the user hides them); the
// folder pane only zooms.
struct CornerPlace {
  const char* name;
  bool rotate, zoom, remove, captions;
};
struct CornerCase {
  CornerPlace place;
  double scale;  // device pixels per pixel of the screen the case runs on
};

void PrintTo(const CornerCase& c, std::ostream* os) { *os << c.place.name << " at scale " << c.scale; }

const CornerPlace kAlbum{"Album", true, true, true, true};
const CornerPlace kAlbumNoCaptions{"AlbumNoCaptions", true, true, true, false};
const CornerPlace kFolderPane{"FolderPane", false, true, false, true};

// The four 22-pixel corner squares of a cell, where the buttons sit.
const QRect kCornerSquares[] = {QRect(1, 1, 22, 22), QRect(93, 1, 22, 22), QRect(1, 93, 22, 22), QRect(93, 93, 22, 22)};

// Set in the child process that runs a case (a name the test environment
// keeps: it drops the VEXA_ ones).
constexpr const char* kSweepChild = "GALLERY_CORNER_SWEEP_CHILD";

class CornerSweepTest : public ControlTest, public ::testing::WithParamInterface<CornerCase> {
 protected:
  // The case again in a child process on a screen of its scale: a
  // process's screens are fixed before its application starts, and a crash
  // there fails this case instead of ending every other test. The scaled
  // screen is an offscreen screen of that device pixel ratio (with
  // QT_SCALE_FACTOR the offscreen pointer misses the lower half of a
  // window: it tests scaled positions against unscaled window places).
  void RunInChild() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kSweepChild, "1");
    env.remove("QT_SCALE_FACTOR");
    const std::string screens = m_temp.Path("screens.json");
    ASSERT_TRUE(WriteAll(screens, "{\"screens\": [{\"name\": \"sweep\", \"x\": 0, \"y\": 0, \"width\": 800, "
                                  "\"height\": 600, \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": " +
                                      QString::number(GetParam().scale).toStdString() + "}]}"));
    env.insert("QT_QPA_PLATFORM", QString::fromStdString("offscreen:configfile=" + screens));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=%1.%2").arg(info->test_suite_name(), info->name())});
    ASSERT_TRUE(child.waitForStarted(30000));
    const bool finished = child.waitForFinished(300000);
    if (!finished) child.kill(), child.waitForFinished(30000);
    const std::string out = child.readAll().toStdString();
    ASSERT_TRUE(finished) << "the sweep did not end\n" << out;
    ASSERT_EQ(child.exitStatus(), QProcess::NormalExit) << "the program died\n" << out;
    EXPECT_EQ(child.exitCode(), 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
  }

  // The pointer from one point of `over` to another, at most `step` pixels a move.
  static void Glide(QWidget* over, QPoint from, QPoint to, int step) {
    const QPoint d = to - from;
    const int n = std::max(1, (std::max(std::abs(d.x()), std::abs(d.y())) + step - 1) / step);
    for (int i = 0; i <= n; ++i) QTest::mouseMove(over, from + d * i / n);
  }

  // The ids (1-8) of the corner buttons shown over a thumbnail.
  static std::vector<int> Corners(QWidget* thumb) {
    std::vector<int> ids;
    for (QWidget* w : thumb->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      const int id = w->property("controlId").toInt() - CArtButton::kCommandOffset;
      if (id >= 1 && id <= 8 && w->isVisible()) ids.push_back(id);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
  }
  // The ids the place's switches call for: 1-4 on a selected photo, 5-8
  // on the others (zoom, clockwise, counterclockwise, remove).
  std::vector<int> Expected(bool selected) const {
    const CornerPlace& p = GetParam().place;
    const int base = selected ? 1 : 5;
    std::vector<int> ids;
    if (p.zoom) ids.push_back(base);
    if (p.rotate) ids.insert(ids.end(), {base + 1, base + 2});
    if (p.remove) ids.push_back(base + 3);
    return ids;
  }
  static QWidget* Button(QWidget* thumb, int id) {
    for (QWidget* w : thumb->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (w->property("controlId").toInt() == id + CArtButton::kCommandOffset && w->isVisible()) return w;
    return nullptr;
  }
};

// The pointer swept over every corner of every thumbnail, and sent onto
// each corner by the enter and leave events the window system would bring:
// the program lives, each cell shows its own buttons once, and they work.
TEST_P(CornerSweepTest, PointerOverEveryCornerLeavesWorkingButtons) {
  if (!qEnvironmentVariableIsSet(kSweepChild)) {
    RunInChild();
    return;
  }
  const CornerPlace& place = GetParam().place;
  // Three columns of two rows.
  Control c = Make(true, QSize(360, 290));
  m_hosts.back()->move(0, 0);
  Put(c, DISPID_VEXATHUM_ShowRotateButtons, Variant::Bool(place.rotate));
  Put(c, DISPID_VEXATHUM_ShowZoomButton, Variant::Bool(place.zoom));
  Put(c, DISPID_VEXATHUM_ShowRemoveButton, Variant::Bool(place.remove));
  Put(c, DISPID_VEXATHUM_ShowCaptions, Variant::Bool(place.captions));
  Put(c, DISPID_VEXATHUM_ShowToolTips, Variant::Bool(true));
  Put(c, DISPID_VEXATHUM_EnableMultipleSelect, Variant::Bool(true));
  // The remove button's event removes the photo there and then, as the
  // wizard's pages do.
  c.sink->onEvent = [&c](DISPID id, long photo) {
    if (id == DISPID_VEXATHUMEV_CloseButtonClicked) Call(c, DISPID_VEXATHUM_RemoveThumb, {Variant::I4(photo)});
  };
  std::vector<std::string> paths;
  for (int i = 0; i < 6; ++i) paths.push_back(Photo("s" + std::to_string(i) + ".jpg", 160, 120, QColor(30 * i, 100, 160)));
  AddFiles(c, paths, -1);
  const std::vector<int> ids = Ints(Call(c, DISPID_VEXATHUM_GetAllIndices));
  ASSERT_EQ(ids.size(), 6u);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Thumbnails(c).size() == 6; }, 5000));
  QWidget* document = Thumbnail(c, ids[0])->parentWidget();
  EXPECT_EQ(document->devicePixelRatioF(), GetParam().scale);
  // One photo selected: its cell has the other set of buttons.
  QTest::mouseClick(Thumbnail(c, ids[1]), Qt::LeftButton, {}, QPoint(58, 58));
  ASSERT_EQ(Ints(Call(c, DISPID_VEXATHUM_GetSelection)), std::vector<int>{ids[1]});

  // Lines through the corner bands of every row and column of cells, both ways.
  QRect cells;
  for (QWidget* t : Thumbnails(c)) cells |= t->geometry();
  const QSize cell = Thumbnail(c, ids[0])->size();
  for (int top = cells.top(); top < cells.bottom(); top += cell.height())
    for (int y : {3, 12, 21, 95, 104, 113}) {
      Glide(document, QPoint(cells.left(), top + y), QPoint(cells.right(), top + y), 3);
      Glide(document, QPoint(cells.right(), top + y + 1), QPoint(cells.left(), top + y + 1), 4);
    }
  for (int left = cells.left(); left < cells.right(); left += cell.width())
    for (int x : {3, 12, 21, 95, 104, 113}) {
      Glide(document, QPoint(left + x, cells.top()), QPoint(left + x, cells.bottom()), 3);
      Glide(document, QPoint(left + x + 1, cells.bottom()), QPoint(left + x + 1, cells.top()), 4);
    }

  // Each corner of each cell, approached from outside the cell, jumped onto
  // from outside the window, and entered by events sent to the cell.
  QWidget* host = m_hosts.back().get();
  for (int id : ids) {
    QWidget* thumb = Thumbnail(c, id);
    ASSERT_NE(thumb, nullptr);
    const bool selected = id == ids[1];
    for (const QRect& square : kCornerSquares) {
      const QPoint corner = thumb->geometry().topLeft() + square.center();
      const QPoint outward((square.center().x() < 58 ? -12 : 12), (square.center().y() < 58 ? -12 : 12));
      const QPoint start = corner + outward * 2;
      Glide(document, QPoint(std::clamp(start.x(), 0, document->width() - 1), std::clamp(start.y(), 0, document->height() - 1)),
            corner, 2);
      EXPECT_TRUE(QTest::qWaitFor([&] { return Corners(thumb) == Expected(selected); }, 5000))
          << place.name << " photo " << id << " corner " << square.x() << "," << square.y() << ": "
          << ::testing::PrintToString(Corners(thumb));
      QTest::mouseMove(host, QPoint(-40, -40));
      QTest::mouseMove(thumb, square.center());
      EXPECT_TRUE(QTest::qWaitFor([&] { return Corners(thumb) == Expected(selected); }, 5000));

      QEvent leave(QEvent::Leave);
      QApplication::sendEvent(thumb, &leave);
      const QPointF local(square.center());
      QEnterEvent enter(local, thumb->window()->mapFromGlobal(thumb->mapToGlobal(local)), thumb->mapToGlobal(local));
      QApplication::sendEvent(thumb, &enter);
      QHoverEvent hover(QEvent::HoverMove, local, thumb->mapToGlobal(local), local);
      QApplication::sendEvent(thumb, &hover);
      EXPECT_EQ(Corners(thumb), Expected(selected));
    }
  }

  // The buttons do their work: zoom tells the host; remove takes the photo away.
  QWidget* thumb = Thumbnail(c, ids[4]);
  QTest::mouseMove(document, QPoint(document->width() - 1, document->height() - 1));
  QTest::mouseMove(thumb, QPoint(58, 58));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Corners(thumb) == Expected(false); }, 5000));
  if (place.zoom) {
    QTest::mouseClick(Button(thumb, 5), Qt::LeftButton, {}, QPoint(8, 8));
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.sink->Count(DISPID_VEXATHUMEV_ZoomButtonClicked) == 1; }, 5000));
    EXPECT_EQ(c.sink->args.back(), ids[4]);
  }
  if (place.remove) {
    QTest::mouseMove(thumb, QPoint(104, 12));
    QWidget* remove = Button(thumb, 8);
    ASSERT_NE(remove, nullptr);
    QTest::mouseClick(remove, Qt::LeftButton, {}, QPoint(8, 8));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Long(Call(c, DISPID_VEXATHUM_GetThumbCount)) == 5; }, 5000));
    EXPECT_EQ(Strings(Call(c, DISPID_VEXATHUM_GetAllFilePaths)),
              (std::vector<std::string>{paths[0], paths[1], paths[2], paths[3], paths[5]}));
    EXPECT_EQ(Thumbnails(c).size(), 5u);
  }
}

std::vector<CornerCase> CornerCases() {
  std::vector<CornerCase> cases;
  for (const CornerPlace& place : {kAlbum, kAlbumNoCaptions, kFolderPane})
    for (double scale : {1.0, 1.5, 2.0}) cases.push_back({place, scale});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(PlacesAndScales, CornerSweepTest, ::testing::ValuesIn(CornerCases()),
                         [](const ::testing::TestParamInfo<CornerCase>& info) {
                           return std::string(info.param.place.name) + "AtScale" +
                                  std::to_string(static_cast<int>(info.param.scale * 100)) + "Percent";
                         });

}  // namespace

namespace {

// The control drawn with four photos of known colours, one turned, compared
// with the golden picture within a small fuzz (ImageMagick compare).
TEST_F(ControlTest, GoldenScreenshot) {
  VEXA_UI_REQUIRE_TOOL("/usr/bin/compare");
  Control c = Make();
  const std::vector<QColor> colors = {QColor(200, 40, 40), QColor(40, 160, 60), QColor(40, 70, 200), QColor(230, 190, 40)};
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < colors.size(); ++i)
    paths.push_back(Photo("golden" + std::to_string(i) + ".jpg", i == 3 ? 600 : 900, i == 3 ? 900 : 600, colors[i]));
  AddFiles(c, paths, -1, {0, 90, 0, 0});
  // Every thumbnail in: each cell's centre shows its photo's colour.
  auto ready = [&] {
    const QImage shot = c.window->grab().toImage();
    for (std::size_t i = 0; i < colors.size(); ++i) {
      const QRgb px = shot.pixel(int(i % 3) * 116 + 58, int(i / 3) * 116 + 58);
      if (std::abs(qRed(px) - colors[i].red()) + std::abs(qGreen(px) - colors[i].green()) +
              std::abs(qBlue(px) - colors[i].blue()) > 60)
        return false;
    }
    return true;
  };
  ASSERT_TRUE(QTest::qWaitFor(ready, kWaitBoundMs)) << InVain("every cell to show its photo's colour");
  // The pointer away from every cell, so none is lit.
  QTest::mouseMove(c.window, QPoint(410, 310));
  for (QWidget* w : Thumbnails(c)) {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w, &leave);
  }
  ASSERT_TRUE(QTest::qWaitFor(ready, kWaitBoundMs)) << InVain("every cell to show its photo's colour unlit");
  const std::string artifacts = std::string(VEXA_BUILD_DIR) + "/artifacts";
  std::filesystem::create_directories(artifacts);
  const std::string shot = artifacts + "/vexathum-control.png";
  ASSERT_TRUE(c.window->grab().save(QString::fromStdString(shot)));
  const std::string golden = std::string(VEXA_TEST_SOURCE_DIR) + "/data/golden-control.png";
  if (std::getenv("VEXA_UPDATE_GOLDEN")) std::filesystem::copy_file(shot, golden, std::filesystem::copy_options::overwrite_existing);
  std::string out;
  RunCommand("/usr/bin/compare -metric AE -fuzz 8% " + Quote(shot) + " " + Quote(golden) + " null:", &out);
  EXPECT_LT(std::atol(out.c_str()), 200) << out;
}

}  // namespace
