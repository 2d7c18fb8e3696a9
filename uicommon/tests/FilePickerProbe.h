// A scratch folder for a file dialog to show, and a drive of the dialog that
// tries every way it has to change the folder: for the tests of the dialogs
// that only pick a file or a folder.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

class QFileDialog;

namespace vexa::ui::testing {

// A FIFO for code that must never open it: opening it waits for a writer,
// as reading /proc/kmsg waits for the kernel. After the bound every reader
// waiting on it is let go (the trap opens the other end), so a test that
// offers it ends, and says what happened.
class FifoTrap {
 public:
  explicit FifoTrap(std::string path, std::chrono::seconds bound = std::chrono::seconds(30));
  ~FifoTrap();
  FifoTrap(const FifoTrap&) = delete;
  FifoTrap& operator=(const FifoTrap&) = delete;
  const std::string& Path() const { return m_path; }
  // "" when nothing opened the FIFO; else what happened: a reader waited
  // until the bound, or one holds it open now (which is then let go).
  std::string Fault();

 private:
  std::string m_path;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_released{false};
  std::thread m_watchdog;
};

// The files of a folder that get opened while it watches (by name; the
// folder itself and its subfolders being listed do not count).
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& folder);
  ~OpenWatch();
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;
  // Every open seen so far, in order.
  std::vector<std::string> Opened();

 private:
  int m_fd = -1;
  std::vector<std::string> m_opened;
};

class FilePickerProbe {
 public:
  // Makes, in the folder (which must exist and be a test's own): a music
  // file "keep.mp3", a folder "sub", a FIFO "pipe.mp3" and a plain file
  // "notes" without an extension (a dialog that reads a file to learn its
  // type reads that one; on /proc/kmsg such a read never ends). Watches
  // which of them get opened.
  explicit FilePickerProbe(std::string folder);
  ~FilePickerProbe();
  FilePickerProbe(const FilePickerProbe&) = delete;
  FilePickerProbe& operator=(const FilePickerProbe&) = delete;

  const std::string& Folder() const { return m_folder; }
  // With the dialog shown: shows the folder in it, waits until it is
  // listed, selects "keep.mp3", and presses Delete (saying Yes to any
  // question), renames it with F2, and asks for a new folder. Bounded
  // waits; a wait that runs out is a fault.
  void Exercise(QFileDialog* dialog);
  // What went wrong, one line each: entries removed, renamed or added,
  // files of the folder opened, a reader left waiting on the FIFO.
  std::vector<std::string> Faults();

 private:
  std::vector<std::string> Listing() const;

  std::string m_folder;
  FifoTrap m_fifo;
  std::vector<std::string> m_before;
  std::vector<std::string> m_faults;
  OpenWatch m_opens;
};

}  // namespace vexa::ui::testing
