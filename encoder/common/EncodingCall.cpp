#include "encoder/common/EncodingCall.h"

namespace vidlathe {

namespace {
thread_local bool tInsideCall = false;
}  // namespace

EncodingCall::EncodingCall() {
  if (tInsideCall) return;
  entered_ = true;
  tInsideCall = true;
}

EncodingCall::~EncodingCall() {
  if (entered_) tInsideCall = false;
}

}  // namespace vidlathe
