// The disc creation run (CreateVCD): the settings still unset, the rejected
// pictures, the extra files, then the burn flow's premaster, burn and
// further copies; and the interface's burn speed methods.
#include "core/VEXACore1.h"

namespace vexa::core {

using namespace vexa::com;

// ---- the run --------------------------------------------------------------------------------

bool CVEXACore1::DoCreateVCD(std::int16_t testMode, std::int16_t verify, std::int16_t burnSafe) {
  testMode_ = testMode;
  verify_ = verify;
  burnSafe_ = burnSafe;
  if (!driver_ || !driver_->HasEngine()) {
    flow_.SetCode(VEXACoreFailure);
    return flow_.FailCall("CVEXACore1::CreateVCD - Init must be called first.");
  }

  if (!fileSystemSet_ && !DoSetFileSystemSupport(fileSystem_)) {
    return flow_.FailCall("CVEXACore1::CreateVCD - SetFileSystemSupport call failed.", true);
  }
  if (!stillDelaySet_ && !DoSetStillDelay(5)) {
    return flow_.FailCall(Format("CVEXACore1::CreateVCD - Still Delay not set; using default:%d.", 5), true);
  }
  if (!stillTitleTimeSet_ && !DoSetStillTitleVisibleTime(2)) {
    return flow_.FailCall(Format("CVEXACore1::CreateVCD - StillTitleVisibleTime not set; using default:%d.", 2), true);
  }
  if (!tvSystemSet_) {
    LONG tv = VEXACoreTVNTSC;
    if (!GetTVSystem(&tv)) {
      util_.LogError("CVEXACore1::CreateVCD - Cannot Get a TV System. Using Default.", false);
      tv = VEXACoreTVNTSC;
    }
    if (!DoSetTVSystem(tv)) return flow_.FailCall("CVEXACore1::CreateVCD - TV System Not set; using default NTSC.", true);
  }
  if (!paperSizeSet_) {
    LONG paper = VEXACorePaperSizeLetter;
    if (!GetPaperSize(&paper)) {
      util_.LogError("CVEXACore1::CreateVCD - Cannot GetPaperSize. Using default.", false);
      paper = VEXACorePaperSizeLetter;
    }
    if (!DoSetPaperSize(paper)) return flow_.FailCall("CVEXACore1::CreateVCD - SetPaperSize call failed.", true);
  }
  if (!DealWithInvalidStills()) return flow_.FailCall("CVEXACore1:CreateVCD - DealWithInvalidStills call failed.");
  if (!AddExtraODFiles()) return flow_.FailCall("CVEXACore1::CreateVCD - AddExtraODFiles call failed.");
  BurnFlow flow = MakeBurnFlow();
  if (!flow.PrepareVCD()) return flow_.FailCall("CVEXACore1::CreateVCD - PrepareVCD call failed.");
  flow.CheckBurnSpeed(&burnSpeed_, &burnSpeedSet_);

  return flow.BurnDiscs(BurnSettings{burnSpeed_, testMode_, verify_, burnSafe_});
}

HRESULT CVEXACore1::DoGetDriveSpeeds(VARIANT* driveSpeeds) {
  flow_.SetCode(VEXACoreSuccess);
  if (!driveSpeeds) return E_POINTER;
  if (!driver_ || !driver_->GetDriveSpeeds(driveSpeeds)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return Fail("CVEXACore1::GetDriveSpeeds - ODBase GetDriveSpeeds call failed.");
  }
  return S_OK;
}

HRESULT CVEXACore1::DoGetMaxBurnSpeed(LONG* maxSpeed) {
  flow_.SetCode(VEXACoreSuccess);
  if (!maxSpeed) return E_POINTER;
  if (!driver_ || !driver_->GetMaxBurnSpeed(maxSpeed)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return Fail("CVEXACore1::GetMaxBurnSpeed - ODBase GetMaxBurnSpeed call failed.");
  }
  return S_OK;
}

bool CVEXACore1::DoSetBurnSpeed(LONG burnSpeed) {
  flow_.SetCode(VEXACoreSuccess);
  if (burnSpeed <= 0) {
    flow_.SetCode(VEXACoreInvalidBurnSpeed);
    return flow_.FailCall(Format("CVEXACore1::SetBurnSpeed - Burn speed must be positive. Speed set = %d.", static_cast<int>(burnSpeed)));
  }
  burnSpeed_ = burnSpeed;
  burnSpeedSet_ = true;
  return true;
}

}  // namespace vexa::core
