// The palette tool's file work over any gauge bytes: the count shown when it
// loads, then a run of Display Color Values, Send and a change of bitmap as the
// input chooses them, with any colour number (the window's own range check,
// against a count it may hold from another bitmap, is left out: the logic must
// guard the file by itself). After every step: a count or entry is shown
// exactly when its bytes lie in the file, and then as they stand there; a
// Send changes one byte at most, only the chosen colour byte of an entry of
// this bitmap's own palette (by the count stored in its header now), and a
// refused or failed Send leaves the file byte-identical. The length never
// changes and nothing is read before position 1.

#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "gau/palette.h"

namespace {

enum class Step : uint8_t { Display, Send, OtherBitmap };

struct Action {
  Step step;
  int16_t number;  // colour number typed into the box
  uint8_t channel;
  uint8_t value;
  bool failWrite;
  fuzz::PositionChoice choice;
};

bool countInFile(int64_t pos, int64_t length) { return fuzz::inFile(pos + 20, pos + 23, length); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const fuzz::PositionChoice first = fuzz::consumeChoice(in);
  std::vector<Action> actions(in.ConsumeIntegralInRange<size_t>(1, 8));
  for (Action& a : actions) {
    a.step = static_cast<Step>(in.ConsumeIntegralInRange<uint8_t>(0, 2));
    // Mostly numbers about a palette's size, where the edges are.
    a.number = in.ConsumeBool() ? in.ConsumeIntegralInRange<int16_t>(-2, 258)
                                : in.ConsumeIntegral<int16_t>();
    a.channel = in.ConsumeIntegralInRange<uint8_t>(0, 2);
    a.value = in.ConsumeIntegral<uint8_t>();
    a.failWrite = in.ConsumeIntegralInRange<uint8_t>(0, 15) == 0;
    if (a.step == Step::OtherBitmap) a.choice = fuzz::consumeChoice(in);
  }
  const std::vector<uint8_t> original = in.ConsumeRemainingBytes<uint8_t>();
  const auto L = static_cast<int64_t>(original.size());

  fuzz::CountingChannel gauge(original);
  int32_t pos = fuzz::resolve(first, original);

  // Loading: the count shown.
  {
    const Result<gau::ColorCount> count = gau::readColorCount(gauge, pos);
    FUZZ_CHECK(bool(count) == countInFile(pos, L),
               "the count is read exactly when it lies in the file");
    if (count) {
      FUZZ_CHECK(count->stored == fuzz::le32(original, int64_t{pos} + 20), "the count as stored");
      FUZZ_CHECK(count->colors == (count->stored == 0 ? 256 : count->stored),
                 "a stored 0 means 256");
    }
  }

  int16_t colorNumber = 0;  // taken by the last Display; Send writes to it
  for (const Action& a : actions) {
    const std::vector<uint8_t> before = gauge.bytes();
    const int64_t readBefore = gauge.bytesRead();
    switch (a.step) {
      case Step::OtherBitmap:
        pos = fuzz::resolve(a.choice, before);
        break;
      case Step::Display: {
        colorNumber = a.number;
        const Result<gau::Entry> e = gau::readEntry(gauge, pos, colorNumber);
        const int64_t blue = int64_t{pos} + 28 + 4 * int64_t{colorNumber};
        FUZZ_CHECK(bool(e) == fuzz::inFile(blue, blue + 2, L),
                   "an entry is shown exactly when its three bytes lie in the file");
        if (e)
          FUZZ_CHECK(e->blue == before[static_cast<size_t>(blue - 1)] &&
                         e->green == before[static_cast<size_t>(blue)] &&
                         e->red == before[static_cast<size_t>(blue + 1)],
                     "the entry's bytes as they stand");
        break;
      }
      case Step::Send: {
        gauge.failWrites(a.failWrite);
        const auto channel = static_cast<gau::ColorChannel>(a.channel);
        const Result<> s = gau::writeEntryByte(gauge, pos, colorNumber, channel, a.value);
        gauge.failWrites(false);
        // The bitmap's own palette, by the count stored now.
        bool allowed = countInFile(pos, L);
        const int64_t at = int64_t{pos} + 28 + 4 * int64_t{colorNumber} + a.channel;
        if (allowed) {
          const int32_t stored = fuzz::le32(before, int64_t{pos} + 20);
          // A Send of the byte already there writes nothing, so it cannot fail.
          allowed = stored >= 0 && stored <= 256 && colorNumber >= 0 &&
                    colorNumber < (stored == 0 ? 256 : stored) && fuzz::inFile(at, at, L) &&
                    (!a.failWrite || before[static_cast<size_t>(at - 1)] == a.value);
        }
        FUZZ_CHECK(bool(s) == allowed,
                   "a Send is done exactly when the byte is in this palette and the file");
        if (!s) {
          FUZZ_CHECK(!s.reason().empty(), "a refused Send says why");
          FUZZ_CHECK(gauge.bytes() == before, "a refused Send writes nothing");
        } else {
          FUZZ_CHECK(fuzz::changesOnlyWithin(before, gauge.bytes(), at, at),
                     "a Send changes its one byte only");
          FUZZ_CHECK(gauge.bytes()[static_cast<size_t>(at - 1)] == a.value, "the byte sent");
        }
        break;
      }
    }
    FUZZ_CHECK(gauge.bytes().size() == original.size(),
               "the palette tool never changes the length");
    FUZZ_CHECK(gauge.bytesRead() - readBefore <= 64, "one step reads a few bytes, not the file");
  }
  FUZZ_CHECK(gauge.readsBeforeStart() == 0, "the palette tool reads nothing before position 1");
  return 0;
}
