// The class VexaLogger: appends time-stamped lines to the main log
// "vexalog.txt" (headed with a block of system information) and the debug log
// "vexalogD.txt", both in the data directory, keeping each under its size
// limit by cutting lines off its front.
//
// All objects of a process share one writer per file, the stamp counter and a
// lock, so pruning by one object (which replaces the file) is seen at once by
// every other object.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "idl/vexalog.h"
#include "platform/base/Time.h"

namespace vexa::logging {

class LogFile;

// The clock every logger of the process reads; null restores the real clock.
// Tests install a ManualClock.
void SetLogClock(const base::Clock* clock);

// The header's block of system information, CR LF after each line.
std::string BuildSystemInfoText();

class CVexaLogger : public com::ComObjectRoot,
                    public com::DispatchImpl<CVexaLogger, IVexaLogger>,
                    public com::SupportErrorInfoImpl<IVexaLogger> {
 public:
  using Interfaces =
      com::InterfaceMap<IVexaLogger, com::Via<IDispatch, IVexaLogger>, ISupportErrorInfo>;
  static const com::TypeLibraryId& TypeLibrary() { return kVEXALOGLib; }

  CVexaLogger();
  ~CVexaLogger();

  HRESULT FinalConstruct();
  void FinalRelease();

  static std::span<const com::DispatchEntry<CVexaLogger>> DispatchTable();

  HRESULT get_LogFilePath(BSTR* pVal) override;
  HRESULT ResetLogFile() override;
  HRESULT WriteMessage(BSTR strComponentName, BSTR strMsgType, BSTR strMsg) override;
  HRESULT WriteMessages(BSTR strComponentName, BSTR strMsgType, BSTR strMsg1, BSTR strMsg2,
                        BSTR strMsg3, BSTR strMsg4, BSTR strMsg5) override;

 private:
  void ReadDataDirectory();
  bool ReadFileSizes();
  void LogInternalError(const std::string& text);
  bool LogMaintenance(const std::string& date, const std::string& time);
  bool WriteLogHeader(int fd, const std::string& word, const std::string& date,
                      const std::string& time);
  bool PruneLogFile(unsigned long long size, const std::string& date, const std::string& time);
  bool PruneDebugLogFile();
  bool ReplaceByPruned(LogFile& file, unsigned cut, const std::string& tempName,
                       const std::string* headerWord, const std::string& date,
                       const std::string& time, bool* copyFailed);
  void ResetDebugLogFile();
  HRESULT Fail(const std::string& text, HRESULT hr);

  std::string dataDirectory_;
  std::string mainPath_;
  std::string debugPath_;
  std::shared_ptr<LogFile> main_;
  std::shared_ptr<LogFile> debug_;
  DWORD mainLimit_ = 400000;
  DWORD debugLimit_ = 50000;
};

// The creation function of the server's class table.
HRESULT CreateVexaLogger(REFIID iid, void** ppv);

}  // namespace vexa::logging
