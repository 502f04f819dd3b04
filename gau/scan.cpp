#include "gau/scan.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gau/bitmap_record.h"
#include "io/file_channels.h"
#include "io/little_endian.h"

namespace gau {
namespace {

// A hit needs the signature and the whole colour count inside the file:
// bytes i .. i + 23 counted from the signature.
constexpr size_t kHitSpan = kColorCountFromBmpPos + 4;

bool signatureAt(const uint8_t* p) { return p[0] == 1 && p[1] == 0 && p[2] == 8 && p[3] == 0; }

// Calls hit(i) for every offset i < limit with the signature at bytes[i..i+3]
// (i + 4 <= n), in ascending order.
template <class Hit>
void forEachSignature(const uint8_t* bytes, size_t n, size_t limit, Hit&& hit) {
  if (n < 4) return;
  limit = std::min(limit, n - 3);
  size_t i = 0;
#if defined(__SSE2__)
  // Candidates are positions with 01 at i and 08 at i + 2; the full test weeds out the rest.
  const __m128i ones = _mm_set1_epi8(1);
  const __m128i eights = _mm_set1_epi8(8);
  for (; i + 32 + 2 <= n && i + 32 <= limit; i += 32) {
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 16));
    const __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 2));
    const __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 18));
    const unsigned m0 = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a0, ones), _mm_cmpeq_epi8(c0, eights))));
    const unsigned m1 = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a1, ones), _mm_cmpeq_epi8(c1, eights))));
    uint32_t mask = m0 | m1 << 16;
    while (mask != 0) {
      const size_t j = i + static_cast<size_t>(__builtin_ctz(mask));
      mask &= mask - 1;
      if (j + 4 <= n && signatureAt(bytes + j)) hit(j);
    }
  }
#endif
  for (; i < limit; ++i)
    if (signatureAt(bytes + i)) hit(i);
}

// Scans one block. `base` is the 1-based position of block[0]; hits are taken
// at offsets below `limit`, and `n` bytes of the file are present in the block.
void scanBlock(const uint8_t* block, size_t n, size_t limit, int64_t base, size_t keep,
               ScanResult& r) {
  forEachSignature(block, n, limit, [&](size_t i) {
    // The colour count field is read as the exhaustive scan reads it; past the
    // end of the file its bytes read as 0, but such a hit is never counted.
    uint8_t count[4] = {0, 0, 0, 0};
    const size_t at = i + kColorCountFromBmpPos;
    if (at < n) std::memcpy(count, block + at, std::min<size_t>(4, n - at));
    r.lastColorCount = io::le32(count);
    if (i + kHitSpan > n) return;
    if (r.lastColorCount < 0 || r.lastColorCount > kMaxColors) return;
    ++r.totalHits;
    if (r.positions.size() < keep) r.positions.push_back(static_cast<int32_t>(base + i));
  });
}

}  // namespace

ScanResult scanBytes(std::span<const uint8_t> bytes, size_t keep) {
  ScanResult r;
  scanBlock(bytes.data(), bytes.size(), bytes.size(), 1, keep, r);
  return r;
}

ScanResult scanChannel(io::Channel& gauge, size_t keep, const std::function<void()>& onBlock) {
  ScanResult r;
  constexpr size_t kBlock = size_t{4} << 20;
  const int64_t length = gauge.length();
  if (length < 0) {
    r.readFailed = true;
    return r;
  }
  // Each block carries the next kHitSpan - 1 bytes too, so a hit that straddles
  // two blocks is seen whole in the first. A small file gets a buffer its size,
  // not 4 MiB zeroed on every pick.
  const auto bufferBlock = static_cast<size_t>(std::clamp<int64_t>(length, 0, kBlock));
  std::vector<uint8_t> buf(bufferBlock + kHitSpan - 1);
  for (int64_t offset = 0; offset < length; offset += kBlock) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(buf.size(), length - offset));
    const size_t got = gauge.read(offset + 1, std::span(buf.data(), want));
    if (got < want) r.readFailed = true;
    const size_t limit = std::min<size_t>(kBlock, got);
    scanBlock(buf.data(), got, limit, offset + 1, keep, r);
    if (onBlock) onBlock();
    if (r.readFailed) break;
  }
  return r;
}

int numberOf(std::span<const int32_t> positions, int32_t bmpPos) {
  // Positions ascend: a binary search serves a table of any size.
  const auto at = std::lower_bound(positions.begin(), positions.end(), bmpPos);
  return at != positions.end() && *at == bmpPos ? static_cast<int>(at - positions.begin()) + 1 : 0;
}

}  // namespace gau
