#include "engine/StillFiles.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>

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

}  // namespace

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
  StillFiles files;
  // The original.
  std::vector<RecordJob> originalJob;
  std::thread originalThread;
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
    originalThread = std::thread([&tools, &originalJob] { RunRecordJob(tools, originalJob[0]); });
  }
  struct JoinOnExit {
    std::thread* t;
    ~JoinOnExit() {
      if (t->joinable()) t->join();
    }
  } joinOriginal{&originalThread};

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
  {
    std::vector<std::thread> helpers;
    for (std::size_t i = 1; i < jobs.size(); ++i) {
      helpers.emplace_back([&tools, &jobs, i] { RunRecordJob(tools, jobs[i]); });
    }
    RunRecordJob(tools, jobs[0]);
    for (auto& h : helpers) h.join();
  }
  if (originalThread.joinable()) originalThread.join();
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
