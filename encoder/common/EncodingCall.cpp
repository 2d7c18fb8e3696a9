#include "encoder/common/EncodingCall.h"

namespace vidlathe {

namespace {
std::mutex gCallMutex;
thread_local bool tInsideCall = false;
}  // namespace

EncodingCall::EncodingCall() {
  if (tInsideCall) return;
  lock_ = std::unique_lock(gCallMutex);
  tInsideCall = true;
}

EncodingCall::~EncodingCall() {
  if (lock_.owns_lock()) tInsideCall = false;
}

}  // namespace vidlathe
