// Drive creation when memory runs out. Every allocation that making a drive
// performs is made to fail in turn (this program replaces the allocation
// functions; only the test's own thread is counted): each time creation
// gives null or a working drive, and nothing is freed twice or left behind,
// as the address and leak checks of the test builds see.
#include <cstdlib>
#include <new>

#include "disclib/recorder/DriveDB.h"
#include "disclib/recorder/tests/SimRecorderFixture.h"
#include "platform/registry/Registry.h"

namespace {

// The allocation to fail, counting from 1 (0: none), and the count so far.
thread_local long t_failAt = 0;
thread_local long t_count = 0;
thread_local bool t_counting = false;

void* Allocate(std::size_t n, std::size_t alignment = 0) {
  if (t_counting && ++t_count == t_failAt) throw std::bad_alloc();
  void* p = nullptr;
  if (alignment > alignof(std::max_align_t)) {
    if (posix_memalign(&p, alignment, n ? n : 1) != 0) p = nullptr;
  } else {
    p = std::malloc(n ? n : 1);
  }
  if (!p) throw std::bad_alloc();
  return p;
}

void* AllocateNoThrow(std::size_t n, std::size_t alignment = 0) noexcept {
  try {
    return Allocate(n, alignment);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void* operator new(std::size_t n, std::align_val_t a) { return Allocate(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return Allocate(n, static_cast<std::size_t>(a)); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return AllocateNoThrow(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return AllocateNoThrow(n); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return AllocateNoThrow(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return AllocateNoThrow(n, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using namespace rectest;

class AllocationFailureTest : public RecorderSim {};

// A drive database record that only gives the drive's capability word.
std::vector<BYTE> CapabilityRecord(DWORD caps) {
  std::vector<BYTE> r(discpak::kDriveDBRecordSize, 0);
  auto put = [&](std::size_t at, DWORD v) {
    for (int i = 0; i < 4; ++i) r[at + i] = static_cast<BYTE>(v >> (8 * i));
  };
  put(712, 1);  // one key/value pair
  put(716, CDR4DB_KEY_CDRFLAGS);
  put(720, caps);
  return r;
}

// The drive takes over its database entry while it is being made: memory
// that runs out in its constructor must free the entry once, not twice.
TEST_F(AllocationFailureTest, DriveCreationGivesNullOrADriveWhereverMemoryRunsOut) {
  using namespace vexa::reg;
  ASSERT_EQ(SetValue(Hive::LocalMachine, discpak::kDriveDBKey, "VEXASIM CD-RW SIM 52X   ",
                     Value::Binary(CapabilityRecord(CDRF_CDR | CDRF_WRITETAO))),
            Status::Ok);
  Use("profile = cdrw-writer\n");

  // How many allocations one creation makes.
  t_failAt = 0;
  t_count = 0;
  t_counting = true;
  I_CDRClass* whole = CDR4_CreateDrive(0);
  t_counting = false;
  ASSERT_TRUE(whole);
  ASSERT_TRUE(whole->GetDriveDB());
  CDR4_DeleteDrive(whole);
  const long total = t_count;
  ASSERT_GT(total, 0);

  int made = 0, refused = 0;
  for (long n = 1; n <= total; ++n) {
    t_failAt = n;
    t_count = 0;
    t_counting = true;
    I_CDRClass* drive = CDR4_CreateDrive(0);
    t_counting = false;
    if (!drive) {
      ++refused;
      continue;
    }
    ++made;
    EXPECT_EQ(drive->GetDriveNum(), 0) << "allocation " << n;
    EXPECT_NE(drive->GetDriveCaps(), 0u) << "allocation " << n;
    CDR4_DeleteDrive(drive);
  }
  EXPECT_GT(refused, 0);
  RecordProperty("allocations", static_cast<int>(total));
  RecordProperty("made", made);
}

}  // namespace
