#include "corvane/protocol/step_digest.h"

namespace sha256 {

StepDigest::~StepDigest() {
  const uint64_t covered = hasher_.Length();
  reporter_.SetStepDigest(Hex(hasher_.Finish()), covered, jumped_ || covered != length_);
}

void StepDigest::Read(uint64_t offset, const uint8_t* data, size_t length) {
  const uint64_t covered = hasher_.Length();
  if (jumped_ || data == nullptr || offset + length <= covered) return;
  if (offset > covered) {
    jumped_ = true;
    return;
  }
  const uint64_t skip = covered - offset;  // already covered by an earlier read
  hasher_.Update(data + skip, length - static_cast<size_t>(skip));
}

}  // namespace sha256
