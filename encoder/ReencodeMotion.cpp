#include "encoder/ReencodeMotion.h"

namespace vidlathe {

int EncodeReencodedStream(const ReencodeMode&, const PictureFeeder&, const std::string&,
                          const std::string&) {
  return 0;
}

}  // namespace vidlathe
