// The result of an engine operation, as the engine's plain parts give it:
// success, or a failure with its code and text. The COM class turns it into
// what a client sees (the HRESULT, the last result and the error
// information) in one place; nothing below it knows those.
//
// A failure is reported one of three ways:
// - recorded (the usual one): the last result takes the code and text,
//   under the calling method's name or the one the failure names, and the
//   text is the error description;
// - refused: the text is the error description, the last result is left as
//   it was (the checks that run before a method does anything);
// - the callee's: the last result takes the code and text, and the failure
//   of the component that was called stands as that component reported it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace vexa::engine {

// The engine's result codes. The numbers are those of the interface's
// result enumeration (VEXAEngineResult), which the COM class reports as
// they are.
enum class EngineCode : std::int32_t {
  kSuccess = 0,
  kPending = 1,
  kObjectCreateFail = 100,
  kGUIDCreationFail = 101,
  kParameterOutOfBounds = 102,
  kParameterInvalid = 103,
  kInvalidFileFormat = 104,
  kTimeConversionFail = 105,
  kNamingFail = 106,
  kTempSpaceLimitReached = 107,
  kGeneralIOFail = 108,
  kTemporaryDirFail = 200,
  kStillDelayFail = 201,
  kAddAudioTrackFail = 202,
  kAddFileFail = 203,
  kAddFilesFail = 204,
  kAddAutorunFail = 205,
  kStillImageProcessingFail = 206,
  kEnumConversionFail = 207,
  kDiscTooSmall = 208,
  kUnsupportedDiscFS = 500,
  kBrellSuccess = 1000,
  kBrellPending = 1001,
  kBrellReadFail = 1002,
  kBrellWriteFail = 1003,
  kBrellCancel = 1004,
  kBrellException = 1005,
  kBrellOtherFail = 1006,
  kBrellDLLError = 1007,
  kBrellUnknown = 1020,
  kBrellAddFileWFail = 1100,
  kBrellAddAudioFileWFail = 1101,
  kBrellAddHardLinkWFail = 1102,
  kBrellAddStillWFail = 1103,
  kSubmoduleSetTempDirectoryFail = 2000,
  kSubmoduleSetStillDelayFail = 2001,
  kSubmoduleSetTitleLinesFail = 2002,
  kSubmoduleAddAudioTrackFail = 2003,
  kSubmoduleAddFileFail = 2004,
  kSubmoduleAddStillFail = 2005,
  kSubmoduleAddTitleStillFail = 2006,
  kSubmoduleStartPremasterFail = 2007,
  kSubmoduleCleanFail = 2008,
  kSubmoduleSetStillTitleDelayFail = 2009,
  kSubmoduleRipAudioFail = 2010,
  kSubmoduleMethodFail = 2050,
  kHelpermoduleMethodFail = 3000,
};

// The code a worker's run state is reported as: 0 success, 1 to 7 the
// codes 1001 to 1007, anything else 1020.
EngineCode EngineCodeFromWorkerState(std::int32_t state);

// A failure's text after the text of what it came from: "<why>\n<text>", or
// the text alone when there is no why (a callee that said nothing).
std::string AfterWhy(const std::string& why, const std::string& text);

class Result {
 public:
  enum class Kind { kOk, kRecorded, kRefused, kCallee };

  Result() = default;
  static Result Ok() { return Result(); }
  // Recorded under the calling method's name.
  static Result Fail(EngineCode code, std::string message) {
    return Result(Kind::kRecorded, code, std::move(message), {});
  }
  // Recorded under another name (a shared routine's own).
  static Result FailAs(std::string method, EngineCode code, std::string message) {
    return Result(Kind::kRecorded, code, std::move(message), std::move(method));
  }
  // Told as the error description only; the last result stays.
  static Result Refuse(std::string message) { return Result(Kind::kRefused, EngineCode::kSuccess, std::move(message), {}); }
  // Recorded; the called component's failure stands as it reported it.
  static Result Callee(EngineCode code, std::string message) {
    return Result(Kind::kCallee, code, std::move(message), {});
  }

  bool ok() const { return kind_ == Kind::kOk; }
  Kind kind() const { return kind_; }
  EngineCode code() const { return code_; }
  const std::string& message() const { return message_; }
  // The name the failure is recorded under; "" for the calling method's.
  const std::string& method() const { return method_; }

  // This failure's text in front of the caller's own text.
  std::string Then(const std::string& text) const { return AfterWhy(message_, text); }

 private:
  Result(Kind kind, EngineCode code, std::string message, std::string method)
      : kind_(kind), code_(code), message_(std::move(message)), method_(std::move(method)) {}

  Kind kind_ = Kind::kOk;
  EngineCode code_ = EngineCode::kSuccess;
  std::string message_;
  std::string method_;
};

}  // namespace vexa::engine
