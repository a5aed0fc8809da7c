// The SHA-256 compression with the processor's SHA extensions (x86 since 2016 and 2017: Goldmont,
// Zen, Ice Lake), about six times the portable loop's speed, so that hashing a partition as it
// streams costs a phone's run next to nothing. Chosen at run time; other processors and other
// architectures compress with the portable loop.

#include "protocol/sha256_blocks.h"

#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define CORVANE_SHA_X86 1
#endif

namespace sha256::detail {

#if CORVANE_SHA_X86
namespace {

bool ProcessorHasSha() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
  const bool sse41 = (c & bit_SSE4_1) != 0, ssse3 = (c & bit_SSSE3) != 0;
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
  return sse41 && ssse3 && (b & bit_SHA) != 0;
}

// Four rounds: four message words with their constants, two rounds per instruction.
__attribute__((target("sha,sse4.1"))) inline void Rounds(__m128i& abef, __m128i& cdgh,
                                                         __m128i words, const uint32_t* k) {
  __m128i msg = _mm_add_epi32(words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(k)));
  cdgh = _mm_sha256rnds2_epu32(cdgh, abef, msg);
  msg = _mm_shuffle_epi32(msg, 0x0E);
  abef = _mm_sha256rnds2_epu32(abef, cdgh, msg);
}

__attribute__((target("sha,sse4.1"))) void CompressSha(std::array<uint32_t, 8>& state,
                                                       const uint8_t* data, size_t blocks,
                                                       const uint32_t* k) {
  const __m128i swap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  // The state as the instructions hold it: A B E F and C D G H.
  __m128i t = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0])), 0xB1);
  __m128i cdgh =
      _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4])), 0x1B);
  __m128i abef = _mm_alignr_epi8(t, cdgh, 8);
  cdgh = _mm_blend_epi16(cdgh, t, 0xF0);
  for (; blocks > 0; --blocks, data += 64) {
    const __m128i abefStart = abef, cdghStart = cdgh;
    __m128i w[4];
    for (size_t g = 0; g < 16; ++g) {
      __m128i& slot = w[g % 4];
      if (g < 4) {
        slot = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)),
                                swap);
      } else {
        // W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16], four words at a time.
        const __m128i previous = w[(g + 3) % 4], before = w[(g + 2) % 4];
        slot = _mm_sha256msg2_epu32(_mm_add_epi32(_mm_sha256msg1_epu32(slot, w[(g + 1) % 4]),
                                                  _mm_alignr_epi8(previous, before, 4)),
                                    previous);
      }
      Rounds(abef, cdgh, slot, k + 4 * g);
    }
    abef = _mm_add_epi32(abef, abefStart);
    cdgh = _mm_add_epi32(cdgh, cdghStart);
  }
  t = _mm_shuffle_epi32(abef, 0x1B);
  cdgh = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(t, cdgh, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(cdgh, t, 8));
}

std::atomic<bool> allowed{true};

}  // namespace

bool CompressAccelerated(std::array<uint32_t, 8>& state, const uint8_t* data, size_t blocks,
                         const uint32_t* roundConstants) {
  static const bool present = ProcessorHasSha();
  if (!present || !allowed) return false;
  CompressSha(state, data, blocks, roundConstants);
  return true;
}

void AllowAcceleration(bool allow) { allowed = allow; }

#else

bool CompressAccelerated(std::array<uint32_t, 8>&, const uint8_t*, size_t, const uint32_t*) {
  return false;
}

void AllowAcceleration(bool) {}

#endif

}  // namespace sha256::detail
