// The viewer's SHOW over any gauge bytes and any bitmap position, checked
// against the design's byte-by-byte reading worked out here from the bytes:
// it is drawn exactly when its header, palette and pixels lie in the file and
// its arithmetic fits signed 32 bits, and then dot for dot as the design
// plots it; otherwise it is refused with nothing drawn and nothing taken into
// the shared record. Never a write, never a read before position 1, never
// more dots than the file has bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "forms/Module1.h"
#include "fuzz_support.h"
#include "gau/plot.h"
#include "tests/support/recording_canvas.h"

namespace {

using support::Dot;
using support::RecordingCanvas;

bool sameRecord(const Module1Record& a, const Module1Record& b) {
  return a.BmpWidth == b.BmpWidth && a.BmpHeight == b.BmpHeight && a.ColorsUsed == b.ColorsUsed &&
         a.WorkPos == b.WorkPos && a.PalTable == b.PalTable && a.BlueBuf == b.BlueBuf &&
         a.GreenBuf == b.GreenBuf && a.RedBuf == b.RedBuf && a.ByteBuf == b.ByteBuf &&
         a.CharBuf == b.CharBuf && a.BmpPos == b.BmpPos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const fuzz::PositionChoice choice = fuzz::consumeChoice(in);
  const uint8_t tableSeed = in.ConsumeIntegral<uint8_t>();
  const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
  const int32_t pos = fuzz::resolve(choice, bytes);
  const auto L = static_cast<int64_t>(bytes.size());

  // A palette table left by an earlier SHOW: entries past this bitmap's count keep it.
  Module1Record m;
  m.BmpPos = pos;
  for (size_t k = 0; k < m.PalTable.size(); ++k)
    for (size_t j = 0; j < 4; ++j)
      m.PalTable[k][j] = static_cast<int16_t>((k * 31 + j * 7 + tableSeed) & 0xFF);
  m.ByteBuf = 0xA5;
  const Module1Record before = m;

  fuzz::CountingChannel gauge(bytes);
  RecordingCanvas canvas(bytes.size());
  const Result<gau::Shown> shown = gau::showBitmap(gauge, m.BmpPos, m.PalTable, canvas);
  FUZZ_CHECK(!canvas.overflowed, "more dots than the file has bytes (a hang)");
  if (shown) storeShown(*shown, m);

  FUZZ_CHECK(gauge.bytes() == bytes && gauge.bytesWritten() == 0, "SHOW never writes the gauge");
  FUZZ_CHECK(gauge.readsBeforeStart() == 0, "SHOW reads nothing before position 1");
  FUZZ_CHECK(canvas.erased == 1, "SHOW clears the surface once, first");

  // The design's reading, from the bytes themselves.
  const int64_t P = pos;
  bool drawable = P - 8 >= 1 && P + 23 <= L;
  int32_t w = 0, h = 0, stored = 0, colors = 0;
  int64_t pad = 0, S = 0, D = 0, pixelBytes = 0;
  if (drawable) {
    w = fuzz::le32(bytes, P - 8);
    h = fuzz::le32(bytes, P - 4);
    stored = fuzz::le32(bytes, P + 20);
    drawable = stored >= 0 && stored <= 256;
    colors = stored == 0 ? 256 : stored;
    pad = (4 - (static_cast<int64_t>(w) % 4 + 4) % 4) % 4;
    S = w + pad;
    D = P + 28 + 4 * static_cast<int64_t>(colors);
    pixelBytes = S * h;
    // Every value the design computes in signed 32 bits.
    drawable = drawable && fuzz::fits32(S) && fuzz::fits32(pixelBytes) && fuzz::fits32(D) &&
               fuzz::fits32(D + pixelBytes - 1) && fuzz::fits32(int64_t{w} * h) &&
               fuzz::fits32(pad * h) && fuzz::fits32(int64_t{10} * w) &&
               fuzz::fits32(int64_t{10} * h);
    drawable = drawable && fuzz::inFile(P + 28, D - 1, L) &&
               (pixelBytes <= 0 || fuzz::inFile(D, D + pixelBytes - 1, L));
  }
  if (!drawable) {
    FUZZ_CHECK(!shown, "a bitmap outside the file or beyond 32 bits is refused");
    FUZZ_CHECK(!shown.reason().empty(), "a refusal says why");
    FUZZ_CHECK(canvas.dots.empty() && canvas.lines.empty(), "a refusal draws nothing");
    FUZZ_CHECK(sameRecord(m, before), "a refusal takes nothing into the shared record");
    return 0;
  }
  FUZZ_CHECK(shown, "a bitmap wholly in the file within 32 bits is drawn");

  Module1Record expect = before;
  for (int32_t k = 0; k < colors; ++k)
    for (int j = 0; j < 3; ++j)
      expect.PalTable[k][j + 1] = bytes[static_cast<size_t>(P + 28 + 4 * k + j - 1)];
  const int zoom = h > 200 || w > 200 ? 1 : 2;
  const int64_t dots = w > 0 && h > 0 ? int64_t{w} * h : 0;
  FUZZ_CHECK(static_cast<int64_t>(canvas.dots.size()) == dots, "one dot per pixel, no more");
  size_t i = 0;
  for (int64_t r = 0; r < h; ++r)
    for (int64_t c = int64_t{w} - 1; c >= 0; --c, ++i) {
      const uint8_t v = bytes[static_cast<size_t>(D + (h - 1 - r) * S + c - 1)];
      const Dot& d = canvas.dots[i];
      FUZZ_CHECK(d.x == 10 * zoom * (c + 1) && d.y == 1 + 10 * zoom * r && d.size == zoom,
                 "each dot at its pixel's place and size");
      FUZZ_CHECK(d.r == expect.PalTable[v][3] && d.g == expect.PalTable[v][2] &&
                     d.b == expect.PalTable[v][1],
                 "each dot in its pixel's palette colour");
      expect.ByteBuf = v;
    }
  const int32_t lastY = canvas.dots.empty() ? 0 : canvas.dots.back().y;
  FUZZ_CHECK(canvas.lines.size() == 1 && canvas.lines[0].y == lastY + RecordingCanvas::kLine &&
                 canvas.lines[0].text == " ZOOM=" + std::to_string(zoom),
             "the zoom line one empty line below the last dot");

  expect.BmpWidth = w;
  expect.BmpHeight = h;
  expect.ColorsUsed = colors;
  expect.CharBuf = static_cast<unsigned char>('0' + zoom);
  const size_t last = static_cast<size_t>(P + 28 + 4 * (colors - 1) - 1);
  expect.BlueBuf = bytes[last];
  expect.GreenBuf = bytes[last + 1];
  expect.RedBuf = bytes[last + 2];
  expect.WorkPos = static_cast<int32_t>(D + pixelBytes - 1 -
                                        std::max<int64_t>(h, 0) * (pad + std::max<int32_t>(w, 0)));
  FUZZ_CHECK(sameRecord(m, expect), "the shared record as the byte-by-byte reading leaves it");
  return 0;
}
