#include "engine/StillFiles.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>


#include "platform/base/Executor.h"
#include "platform/base/Path.h"

namespace vexa::engine {

namespace {

constexpr char kPrefix[] = "IVEXAStoryboardStillsSlideshow1::AddStill - ";

void RunRecordJob(StillTools& tools, RecordJob& job) {
  job.ok = tools.StoreRecord(job.file, job.identifier, job.resolution, &job.why);
}

// The derivatives as the storyboard reports them.
Result MakeDerivatives(StillTools& tools, const std::string& original, LONG rotateDegrees, StillFiles* files) {
  std::string why;
  if (!tools.CreateDerivatives(original, rotateDegrees, files->albumFile, files->thumbFile, 160, files->webFile, 640,
                               &files->sizes, &why)) {
    return Result::Fail(EngineCode::kHelpermoduleMethodFail,
                        AfterWhy(why, "VEXAEngine::GenerateStillDerivatives - m_pImageUtil->CreateStillDerivatives failed"));
  }
  const char* missing = !files->sizes.albumMade ? "AR" : !files->sizes.thumbMade ? "TR" : !files->sizes.webMade ? "WR" : nullptr;
  if (missing) {
    return Result::Fail(EngineCode::kHelpermoduleMethodFail,
                        std::string("VEXAEngine::GenerateStillDerivatives - ") + missing + "Success != TRUE");
  }
  return Result::Ok();
}

// The largest picture made later from an album picture: the print copy's
// 1024 pixels on the long side (the Video CD stills and the menu's cells
// are smaller). The album picture's own picture is kept at this size.
constexpr LONG kKeepLongSide = 1024;

// The original's copy as a record of its own; false with the failure in
// *failed. Without tools that write records with files, or for a JPEG that
// holds comments already, the file is copied and the record stored into
// it afterwards.
bool CopyOriginal(const StillJob& job, StillTools& tools, StillFiles* files, Result* failed) {
  files->original = base::JoinPath(job.folders.original, job.discName);
  std::string id;
  if (!tools.NewIdentifier(&id)) {
    *failed = Result::Fail(EngineCode::kGUIDCreationFail, std::string(kPrefix) + "CreateStringGUID call failed");
    return false;
  }
  const char* recordFailed = "PutJPEGCOMMarker failed for Original still";
  std::string record, why;
  if (!tools.RecordBytes(id, values::kOriginalResolution, &record, &why)) {
    *failed = Result::Fail(EngineCode::kHelpermoduleMethodFail, AfterWhy(why, kPrefix + std::string(recordFailed)));
    return false;
  }
  files->made.Add(files->original);
  bool copied = false;
  if (!tools.CopyWithRecord(job.file, files->original, record, &copied, &why)) {
    *failed = Result::Fail(EngineCode::kParameterInvalid, "IVEXAEngine::AddStill - Original CopyFile failed");
    return false;
  }
  if (copied) return true;
  std::error_code ec;
  std::filesystem::copy_file(job.file, files->original, std::filesystem::copy_options::overwrite_existing, ec);
  if (ec) {
    *failed = Result::Fail(EngineCode::kParameterInvalid, "IVEXAEngine::AddStill - Original CopyFile failed");
    return false;
  }
  if (::chmod(files->original.c_str(), 0644) != 0) {
    *failed = Result::Fail(EngineCode::kParameterInvalid,
                           FormatLastSystemError(errno) + "IVEXAEngine::AddStill - SetFileAttributes on original failed");
    return false;
  }
  if (!tools.StoreRecord(files->original, id, values::kOriginalResolution, &why)) {
    *failed = Result::Fail(EngineCode::kHelpermoduleMethodFail, AfterWhy(why, kPrefix + std::string(recordFailed)));
    return false;
  }
  return true;
}

// MakeStillFiles with tools that write each file once, its record in it.
Result MakeStillFilesWithRecords(const StillJob& job, StillTools& tools, StillFiles* out) {
  StillFiles files;
  files.original = job.file;
  if (job.type == values::kJpegType && job.rotateDegrees == 0) {
    if (Result failed; !CopyOriginal(job, tools, &files, &failed)) return failed;
  }
  files.albumFile = base::JoinPath(job.folders.content, job.discName);
  files.thumbFile = base::JoinPath(job.folders.thumb, job.discName);
  files.webFile = base::JoinPath(job.folders.webres, job.discName);
  files.made.Add(files.albumFile);
  files.made.Add(files.thumbFile);
  files.made.Add(files.webFile);
  struct Record {
    LONG resolution;
    const char* message;
    std::string identifier, bytes;
  } records[] = {
      {values::kAlbumResolution, "PutJPEGCOMMarker failed for AlbumRes still", {}, {}},
      {values::kThumbResolution, "PutJPEGCOMMarker failed for ThumbRes still", {}, {}},
      {values::kWebResolution, "PutJPEGCOMMarker failed for WebRes still", {}, {}},
  };
  for (Record& r : records) {
    if (!tools.NewIdentifier(&r.identifier)) {
      return Result::Fail(EngineCode::kGUIDCreationFail, std::string(kPrefix) + "CreateStringGUID call failed");
    }
  }
  for (Record& r : records) {
    if (std::string why; !tools.RecordBytes(r.identifier, r.resolution, &r.bytes, &why)) {
      return Result::Fail(EngineCode::kHelpermoduleMethodFail, AfterWhy(why, kPrefix + std::string(r.message)));
    }
  }
  std::string why;
  Result made = Result::Ok();
  if (!tools.CreateDerivativesWithRecords(job.file, job.rotateDegrees, files.albumFile, records[0].bytes,
                                          files.thumbFile, records[1].bytes, 160, files.webFile, records[2].bytes,
                                          640, kKeepLongSide, &files.sizes, &why)) {
    made = Result::Fail(EngineCode::kHelpermoduleMethodFail,
                        AfterWhy(why, "VEXAEngine::GenerateStillDerivatives - m_pImageUtil->CreateStillDerivatives failed"));
  } else if (const char* missing = !files.sizes.albumMade   ? "AR"
                                   : !files.sizes.thumbMade ? "TR"
                                   : !files.sizes.webMade   ? "WR"
                                                            : nullptr) {
    made = Result::Fail(EngineCode::kHelpermoduleMethodFail,
                        std::string("VEXAEngine::GenerateStillDerivatives - ") + missing + "Success != TRUE");
  }
  if (!made.ok()) {
    return Result::Fail(EngineCode::kStillImageProcessingFail,
                        made.Then(std::string(kPrefix) + "GenerateDerivativeStills failed on albumResFile"));
  }
  files.identifier = records[0].identifier;
  *out = std::move(files);
  return Result::Ok();
}

}  // namespace

std::uint64_t PhotoMemory(const PictureInfo& info, LONG rotateDegrees) {
  const std::uint64_t width = info.width > 0 ? static_cast<std::uint64_t>(info.width) : 0;
  const std::uint64_t height = info.height > 0 ? static_cast<std::uint64_t>(info.height) : 0;
  const bool turned = rotateDegrees >= 1 && rotateDegrees <= 360;
  return width * height * 4 * (turned ? 2 : 1);
}

MadeFiles& MadeFiles::operator=(MadeFiles&& other) noexcept {
  if (this != &other) {
    RemoveUnlessKept();
    files_ = std::move(other.files_);
    keep_ = other.keep_;
    other.files_.clear();
  }
  return *this;
}

MadeFiles::~MadeFiles() { RemoveUnlessKept(); }

void MadeFiles::RemoveUnlessKept() {
  if (keep_) return;
  for (const auto& f : files_) std::remove(f.c_str());
  files_.clear();
}

Result MakeStillFiles(const StillJob& job, StillTools& tools, StillFiles* out) {
  if (tools.WritesRecordsWithFiles()) return MakeStillFilesWithRecords(job, tools, out);
  StillFiles files;
  // The original.
  std::vector<RecordJob> originalJob;
  // The records are written on the shared pool beside the derivatives; the
  // group waits for them whichever way this returns.
  base::TaskGroup records;
  files.original = job.file;
  if (job.type == values::kJpegType && job.rotateDegrees == 0) {
    files.original = base::JoinPath(job.folders.original, job.discName);
    std::error_code ec;
    std::filesystem::copy_file(job.file, files.original, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return Result::Fail(EngineCode::kParameterInvalid, "IVEXAEngine::AddStill - Original CopyFile failed");
    files.made.Add(files.original);
    if (::chmod(files.original.c_str(), 0644) != 0) {
      return Result::Fail(EngineCode::kParameterInvalid,
                          FormatLastSystemError(errno) + "IVEXAEngine::AddStill - SetFileAttributes on original failed");
    }
    std::string id;
    if (!tools.NewIdentifier(&id)) {
      return Result::Fail(EngineCode::kGUIDCreationFail, std::string(kPrefix) + "CreateStringGUID call failed");
    }
    originalJob.push_back({files.original, id, values::kOriginalResolution, "PutJPEGCOMMarker failed for Original still"});
    records.Run([&tools, &originalJob] { RunRecordJob(tools, originalJob[0]); });
  }

  // The derivatives, each a file of its own, from the picture as given.
  files.albumFile = base::JoinPath(job.folders.content, job.discName);
  files.thumbFile = base::JoinPath(job.folders.thumb, job.discName);
  files.webFile = base::JoinPath(job.folders.webres, job.discName);
  files.made.Add(files.albumFile);
  files.made.Add(files.thumbFile);
  files.made.Add(files.webFile);
  if (const Result r = MakeDerivatives(tools, job.file, job.rotateDegrees, &files); !r.ok()) {
    return Result::Fail(EngineCode::kStillImageProcessingFail,
                        r.Then(std::string(kPrefix) + "GenerateDerivativeStills failed on albumResFile"));
  }
  std::vector<RecordJob> jobs = {
      {files.albumFile, "", values::kAlbumResolution, "PutJPEGCOMMarker failed for AlbumRes still"},
      {files.thumbFile, "", values::kThumbResolution, "PutJPEGCOMMarker failed for ThumbRes still"},
      {files.webFile, "", values::kWebResolution, "PutJPEGCOMMarker failed for WebRes still"},
  };
  for (RecordJob& j : jobs) {
    if (!tools.NewIdentifier(&j.identifier)) {
      return Result::Fail(EngineCode::kGUIDCreationFail, std::string(kPrefix) + "CreateStringGUID call failed");
    }
  }
  for (std::size_t i = 1; i < jobs.size(); ++i) {
    records.Run([&tools, &jobs, i] { RunRecordJob(tools, jobs[i]); });
  }
  RunRecordJob(tools, jobs[0]);
  records.WaitQuietly();
  for (const std::vector<RecordJob>* list : {&originalJob, &jobs}) {
    for (const RecordJob& j : *list) {
      if (!j.ok) return Result::Fail(EngineCode::kHelpermoduleMethodFail, AfterWhy(j.why, kPrefix + std::string(j.message)));
    }
  }
  files.identifier = jobs[0].identifier;
  *out = std::move(files);
  return Result::Ok();
}

}  // namespace vexa::engine
