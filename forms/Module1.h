#pragma once
// The program-wide shared record. Every window reads and writes these fields
// by name; it starts zeroed and is never saved.

#include <array>
#include <cstdint>
#include <string>

#include "gau/plot.h"

// Room for bitmap numbers 1 to 100; entry 0 is never written.
class PositionTable {
 public:
  static constexpr int kLast = 100;

  // An entry that was never written reads as 0, as does an index outside 0..100.
  int32_t operator()(int k) const { return inRange(k) && set_[k] ? pos_[k] : 0; }
  bool isSet(int k) const { return inRange(k) && set_[k]; }
  void store(int k, int32_t pos) {
    if (!inRange(k)) return;
    pos_[k] = pos;
    set_[k] = true;
  }
  static bool inRange(int k) { return k >= 0 && k <= kLast; }

 private:
  std::array<int32_t, kLast + 1> pos_{};
  std::array<bool, kLast + 1> set_{};
};

struct Module1Record {
  std::string GauFileName;  // bare name of the open gauge file
  int32_t BmpPos = 0;       // 1-based position of the selected bitmap's planes field
  int32_t WorkPos = 0;      // scratch position: export write cursor, viewer read cursor
  PaletteTable PalTable{};
  unsigned char BlueBuf = 0, GreenBuf = 0, RedBuf = 0;
  unsigned char ByteBuf = 0;
  int32_t ColorsUsed = 0;  // colour count as last read; tools hold a stored 0 as 256
  int32_t BmpWidth = 0;
  int32_t BmpHeight = 0;
  int16_t BmpNumber = 0;
  int32_t ScanWord = 0;
  int16_t BmpCount = 0;
  PositionTable BmpTable;
  unsigned char CharBuf =
      0;  // zoom digit of the viewer; the zero byte of the transparency commands
  int16_t ColorNumber = 0;
  unsigned char NewRed = 0, NewBlue = 0, NewGreen = 0;
};

extern Module1Record Module1;

// What SHOW read, left in the record as a byte-by-byte reading leaves it.
inline void storeShown(const gau::Shown& s, Module1Record& m) {
  m.BmpWidth = s.width;
  m.BmpHeight = s.height;
  m.ColorsUsed = s.colors;
  m.PalTable = s.palette;
  m.WorkPos = s.workPos;
  m.BlueBuf = s.blue;
  m.GreenBuf = s.green;
  m.RedBuf = s.red;
  if (s.byte) m.ByteBuf = *s.byte;
  m.CharBuf = s.zoomDigit;
}
