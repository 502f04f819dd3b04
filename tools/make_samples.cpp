// make_samples DIR: writes the demo gauge files into DIR.
//
// Each file looks like a real gauge to the bitmap scan: other bytes around
// 8-bit bitmaps of panel art (dial faces, needles, lamps, tapes), drawn here
// with simple geometry straight into palette indices. Everything is computed,
// so the output is the same bytes on every run and nothing binary lives in git.

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/gauge_builder.h"

namespace {

using gaugebuild::Bitmap;
using gaugebuild::Gauge;

constexpr double kPi = 3.14159265358979323846;
constexpr int kSub = 4;  // subsamples a pixel side, for smooth edges

// ---------------------------------------------------------------------------
// Palettes

struct Rgb {
  int r = 0, g = 0, b = 0;
};

Rgb mix(Rgb a, Rgb b, double t) {
  auto m = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
  return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

class Palette {
 public:
  explicit Palette(int entries) : c_(static_cast<size_t>(entries)) {}
  void set(int k, Rgb c) { c_.at(static_cast<size_t>(k)) = c; }
  // Entries first..last run evenly from `from` to `to`.
  void ramp(int first, int last, Rgb from, Rgb to) {
    for (int k = first; k <= last; ++k)
      set(k, mix(from, to, last == first ? 1.0 : double(k - first) / (last - first)));
  }
  int size() const { return static_cast<int>(c_.size()); }
  // Stored order of a palette entry: blue, green, red, reserved.
  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> out;
    for (const Rgb& c : c_) {
      out.push_back(static_cast<uint8_t>(c.b));
      out.push_back(static_cast<uint8_t>(c.g));
      out.push_back(static_cast<uint8_t>(c.r));
      out.push_back(0);
    }
    return out;
  }

 private:
  std::vector<Rgb> c_;
};

// ---------------------------------------------------------------------------
// Drawing into palette indices

// A run of palette entries from "background" (first) to "full ink" (last).
// Partly covered pixels take an entry in between; first == last paints hard edges.
struct Ink {
  int first = 0;
  int last = 0;
};

using Region = std::function<bool(double, double)>;
using Value = std::function<double(double, double)>;

struct Box {
  double x0, y0, x1, y1;
};

class Canvas {
 public:
  Canvas(int w, int h, int background)
      : w_(w), h_(h), px_(size_t(w) * h, static_cast<uint8_t>(background)), cov_(px_.size(), 0.f) {}
  int width() const { return w_; }
  int height() const { return h_; }
  uint8_t& at(int x, int y) { return px_[size_t(y) * w_ + x]; }

  // Paints the shape `inside` with `ink`, looking only at pixels that touch `box`.
  // A faint edge never covers an earlier stroke that the pixel holds more fully.
  void paint(Box box, const Region& inside, Ink ink) {
    forPixels(box, [&](int x, int y) {
      const double c = coverage(x, y, inside);
      if (c <= 0) return;
      float& held = cov_[size_t(y) * w_ + x];
      if (ink.first == ink.last) {
        if (c >= 0.5) at(x, y) = static_cast<uint8_t>(ink.first), held = 1.f;
        return;
      }
      if (c < 0.5 && c < held) return;
      at(x, y) = static_cast<uint8_t>(ink.first + std::lround(c * (ink.last - ink.first)));
      held = static_cast<float>(c);
    });
  }

  // Sets the pixels that touch `region` to the palette run first..last by `value`
  // (0..1), averaged over the subsamples; `value` must be defined around the region
  // too, so that edges blend into what lies next to them.
  void shade(Box box, const Region& region, const Value& value, int first, int last) {
    forPixels(box, [&](int x, int y) {
      if (coverage(x, y, region) <= 0) return;
      double sum = 0;
      forSubsamples(x, y,
                    [&](double sx, double sy) { sum += std::clamp(value(sx, sy), 0.0, 1.0); });
      const double v = sum / (kSub * kSub);
      at(x, y) = static_cast<uint8_t>(first + std::lround(v * (last - first)));
      cov_[size_t(y) * w_ + x] = 1.f;
    });
  }

  // Rows bottom-up with each row padded to a multiple of 4 bytes, as stored.
  Bitmap toBitmap(const Palette& pal, int32_t storedColors) const {
    Bitmap b;
    b.width = w_;
    b.height = h_;
    b.storedColors = storedColors;
    // A palette that disagrees with the stored count would shift every pixel byte.
    if (pal.size() != b.colors()) throw std::logic_error("palette size differs from colour count");
    b.palette = pal.bytes();
    for (int y = h_ - 1; y >= 0; --y) {
      b.pixels.insert(b.pixels.end(), px_.begin() + size_t(y) * w_,
                      px_.begin() + size_t(y + 1) * w_);
      b.pixels.insert(b.pixels.end(), static_cast<size_t>(Bitmap::padding(w_)), 0);
    }
    return b;
  }

 private:
  template <class F>
  void forPixels(Box box, F&& f) {
    const int x0 = std::max(0, static_cast<int>(std::floor(box.x0)));
    const int y0 = std::max(0, static_cast<int>(std::floor(box.y0)));
    const int x1 = std::min(w_ - 1, static_cast<int>(std::ceil(box.x1)));
    const int y1 = std::min(h_ - 1, static_cast<int>(std::ceil(box.y1)));
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) f(x, y);
  }
  template <class F>
  static void forSubsamples(int x, int y, F&& f) {
    for (int j = 0; j < kSub; ++j)
      for (int i = 0; i < kSub; ++i) f(x + (i + 0.5) / kSub, y + (j + 0.5) / kSub);
  }
  static double coverage(int x, int y, const Region& inside) {
    int n = 0;
    forSubsamples(x, y, [&](double sx, double sy) { n += inside(sx, sy) ? 1 : 0; });
    return double(n) / (kSub * kSub);
  }

  int w_, h_;
  std::vector<uint8_t> px_;
  std::vector<float> cov_;
};

Box whole(const Canvas& c) { return {0, 0, double(c.width()), double(c.height())}; }

// Dial angles are degrees clockwise from twelve o'clock.
struct Pt {
  double x, y;
};
Pt polar(Pt c, double r, double deg) {
  const double a = deg * kPi / 180;
  return {c.x + r * std::sin(a), c.y - r * std::cos(a)};
}
double dialAngle(double dx, double dy) { return std::atan2(dx, -dy) * 180 / kPi; }

void disc(Canvas& cv, Pt c, double r, Ink ink) {
  cv.paint(
      {c.x - r, c.y - r, c.x + r, c.y + r},
      [=](double x, double y) { return (x - c.x) * (x - c.x) + (y - c.y) * (y - c.y) <= r * r; },
      ink);
}

// A stroke with round ends, `hw` either side of the line from a to b.
void stroke(Canvas& cv, Pt a, Pt b, double hw, Ink ink) {
  const Box box{std::min(a.x, b.x) - hw, std::min(a.y, b.y) - hw, std::max(a.x, b.x) + hw,
                std::max(a.y, b.y) + hw};
  cv.paint(
      box,
      [=](double x, double y) {
        const double vx = b.x - a.x, vy = b.y - a.y;
        const double len2 = vx * vx + vy * vy;
        const double t =
            len2 > 0 ? std::clamp(((x - a.x) * vx + (y - a.y) * vy) / len2, 0.0, 1.0) : 0.0;
        const double dx = x - (a.x + t * vx), dy = y - (a.y + t * vy);
        return dx * dx + dy * dy <= hw * hw;
      },
      ink);
}

// The ring r0..r1 between dial angles a0 and a1 (a0 < a1, both within -180..180).
void arcBand(Canvas& cv, Pt c, double r0, double r1, double a0, double a1, Ink ink) {
  cv.paint(
      {c.x - r1, c.y - r1, c.x + r1, c.y + r1},
      [=](double x, double y) {
        const double r = std::hypot(x - c.x, y - c.y);
        const double a = dialAngle(x - c.x, y - c.y);
        return r >= r0 && r <= r1 && a >= a0 && a <= a1;
      },
      ink);
}

void polygon(Canvas& cv, const std::vector<Pt>& pts, Ink ink) {
  Box box{1e9, 1e9, -1e9, -1e9};
  for (const Pt& p : pts)
    box = {std::min(box.x0, p.x), std::min(box.y0, p.y), std::max(box.x1, p.x),
           std::max(box.y1, p.y)};
  cv.paint(
      box,
      [&pts](double x, double y) {
        bool in = false;
        for (size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
          const Pt& p = pts[i];
          const Pt& q = pts[j];
          if ((p.y > y) != (q.y > y) && x < (q.x - p.x) * (y - p.y) / (q.y - p.y) + p.x) in = !in;
        }
        return in;
      },
      ink);
}

// Panel lettering is seven-segment style: each digit is a set of round-ended strokes.
void digit(Canvas& cv, char d, Pt c, double h, Ink ink) {
  // Segments a-g: top, upper right, lower right, bottom, lower left, upper left, middle.
  static const bool kSegments[10][7] = {
      {1, 1, 1, 1, 1, 1, 0}, {0, 1, 1, 0, 0, 0, 0}, {1, 1, 0, 1, 1, 0, 1}, {1, 1, 1, 1, 0, 0, 1},
      {0, 1, 1, 0, 0, 1, 1}, {1, 0, 1, 1, 0, 1, 1}, {1, 0, 1, 1, 1, 1, 1}, {1, 1, 1, 0, 0, 0, 0},
      {1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 0, 1, 1}};
  if (d < '0' || d > '9') return;
  const double hw = h * 0.09;
  const double l = c.x - h * 0.25 + hw, r = c.x + h * 0.25 - hw;
  const double t = c.y - h / 2 + hw, m = c.y, b = c.y + h / 2 - hw;
  const Pt ends[7][2] = {{{l, t}, {r, t}}, {{r, t}, {r, m}}, {{r, m}, {r, b}}, {{l, b}, {r, b}},
                         {{l, m}, {l, b}}, {{l, t}, {l, m}}, {{l, m}, {r, m}}};
  for (int s = 0; s < 7; ++s)
    if (kSegments[d - '0'][s]) stroke(cv, ends[s][0], ends[s][1], hw, ink);
}

// A row of digits `h` high, centred on c.
void text(Canvas& cv, const std::string& s, Pt c, double h, Ink ink) {
  const double advance = h * 0.72;
  double x = c.x - advance * (double(s.size()) - 1) / 2;
  for (char ch : s) digit(cv, ch, {x, c.y}, h, ink), x += advance;
}

// Light falls from the upper left: +1 facing it, -1 facing away.
double lit(double dx, double dy) {
  const double r = std::hypot(dx, dy);
  return r > 0 ? (-dx - dy) / (r * std::sqrt(2.0)) : 0;
}

// A small deterministic hash in 0..1, for brushed-metal grain.
double grain(uint32_t a, uint32_t b) {
  uint32_t h = a * 73856093u ^ b * 19349663u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return (h & 0xffff) / 65535.0;
}

const Rgb kBlack{0, 0, 0};
const Rgb kWhite{255, 255, 255};
const Rgb kPanelGrey{36, 37, 40};

// ---------------------------------------------------------------------------
// The pictures

// Brushed-metal panel with two instrument cut-outs, an engraved border and four screws.
Bitmap panelBackground() {
  Palette pal(256);
  pal.ramp(0, 255, {8, 8, 12}, {236, 236, 242});
  Canvas cv(250, 181, 150);
  const Pt holes[2] = {{68, 92}, {182, 92}};
  const Pt screws[4] = {{10, 10}, {239, 10}, {10, 170}, {239, 170}};
  const Value metal = [&](double x, double y) {
    double v = 0.62 - 0.16 * (y / 181) + 0.05 * (grain(uint32_t(y * 2), 7) - 0.5) +
               0.02 * (grain(uint32_t(x), uint32_t(y * 2)) - 0.5);
    // An engraved line four pixels in from the edge: dark above, light below.
    const double e = std::min({x - 4, y - 4, 246 - x, 177 - y});
    if (e >= 0 && e < 1) v -= 0.25;
    if (e >= 1 && e < 2) v += 0.12;
    for (const Pt& h : holes) {
      const double dx = x - h.x, dy = y - h.y, r = std::hypot(dx, dy);
      if (r < 50) return 0.04;                   // the dark well behind the instrument
      if (r < 54) v = 0.5 - 0.35 * lit(dx, dy);  // chamfer, lit on the far side
    }
    for (const Pt& s : screws) {
      const double dx = x - s.x, dy = y - s.y, r = std::hypot(dx, dy);
      if (r < 5) {
        v = 0.55 + 0.3 * lit(dx, dy) * (r / 5);          // domed head
        if (std::abs(dx - dy) < 0.8 && r < 4) v = 0.15;  // slot at 45 degrees
      } else if (r < 6) {
        v = 0.3;  // shadow ring
      }
    }
    return v;
  };
  cv.shade(
      whole(cv), [](double, double) { return true; }, metal, 0, 255);
  return cv.toBitmap(pal, 0);
}

// Airspeed indicator: black face, white ticks every 5 knots, tens numerals,
// white, green and yellow arcs and a red never-exceed line, inside a grey bezel.
Bitmap airspeedFace() {
  Palette pal(200);
  const Ink white{0, 63}, green{64, 95}, yellow{96, 127}, red{128, 159};
  pal.ramp(0, 63, kBlack, kWhite);
  pal.ramp(64, 95, kBlack, {30, 200, 60});
  pal.ramp(96, 127, kBlack, {240, 200, 20});
  pal.ramp(128, 159, kBlack, {230, 30, 25});
  pal.ramp(160, 199, kBlack, {225, 225, 228});
  Canvas cv(150, 150, 0);
  const Pt c{75, 75};
  const auto angle = [](double knots) { return -150 + (knots - 40) * 300 / 160; };

  cv.shade(
      whole(cv), [c](double x, double y) { return std::hypot(x - c.x, y - c.y) > 68.5; },
      [c](double x, double y) {
        const double dx = x - c.x, dy = y - c.y, r = std::hypot(dx, dy);
        if (r < 69) return 0.0;
        if (r <= 74.5) return 0.55 + 0.4 * lit(dx, dy);
        return 0.18;  // panel showing in the corners
      },
      160, 199);
  arcBand(cv, c, 47, 50, angle(50), angle(100), white);
  arcBand(cv, c, 51, 56, angle(60), angle(140), green);
  arcBand(cv, c, 51, 56, angle(140), angle(180), yellow);
  for (int kt = 40; kt <= 200; kt += 5) {
    const bool major = kt % 10 == 0;
    stroke(cv, polar(c, major ? 57 : 61, angle(kt)), polar(c, 66, angle(kt)), major ? 1.1 : 0.6,
           white);
  }
  stroke(cv, polar(c, 47, angle(180)), polar(c, 67, angle(180)), 1.3, red);
  for (int kt = 40; kt <= 200; kt += 20)
    text(cv, std::to_string(kt / 10), polar(c, 39, angle(kt)), 10, white);
  return cv.toBitmap(pal, 200);
}

// A needle pointing up, pivot near the bottom, on colour 0 so it can be keyed out.
// Hard edges: a blended fringe would show against whatever face it turns over.
Bitmap needle(int w, int h, double pivotFromBottom, double baseHalf, Rgb body, Rgb shade) {
  Palette pal(16);
  pal.ramp(0, 15, kBlack, kWhite);  // spare entries: a plain grey scale
  pal.set(0, kBlack);
  pal.set(2, body);
  pal.set(3, shade);
  pal.set(4, {70, 70, 74});
  pal.set(5, {140, 140, 146});
  pal.set(6, {20, 20, 22});
  Canvas cv(w, h, 0);
  const double cx = w / 2.0, py = h - pivotFromBottom;
  const double hub = std::min(cx - 1, pivotFromBottom * 0.6);
  const std::vector<Pt> left{{cx, 1.5},
                             {cx, h - 2.0},
                             {cx - baseHalf * 0.6, h - 2.0},
                             {cx - baseHalf * 0.6, py},
                             {cx - baseHalf, py}};
  const std::vector<Pt> right{{cx, 1.5},
                              {cx + baseHalf, py},
                              {cx + baseHalf * 0.6, py},
                              {cx + baseHalf * 0.6, h - 2.0},
                              {cx, h - 2.0}};
  polygon(cv, left, {3, 3});  // the shaded half gives the blade a ridge
  polygon(cv, right, {2, 2});
  disc(cv, {cx, py}, hub, {5, 5});
  disc(cv, {cx, py}, hub - 1, {4, 4});
  disc(cv, {cx, py}, std::max(1.0, hub * 0.3), {6, 6});
  return cv.toBitmap(pal, 16);
}

// Knurled trim knob with a white index line, on colour 0.
Bitmap trimKnob() {
  Palette pal(256);
  pal.ramp(0, 255, kBlack, {245, 245, 245});
  Canvas cv(29, 29, 0);
  const Pt c{14.5, 14.5};
  cv.shade(
      whole(cv), [](double, double) { return true; },
      [c](double x, double y) {
        const double dx = x - c.x, dy = y - c.y, r = std::hypot(dx, dy);
        if (r > 13.5) return 0.0;
        if (r > 10) {
          const int tooth = static_cast<int>(std::floor((dialAngle(dx, dy) + 180) * 24 / 360));
          return 0.45 + 0.3 * lit(dx, dy) + (tooth % 2 ? 0.12 : -0.12);
        }
        if (std::abs(dx) < 1.0 && dy < -2 && dy > -9.5) return 0.98;  // index line
        return 0.5 - 0.2 * lit(dx, dy);                               // dished cap
      },
      0, 255);
  return cv.toBitmap(pal, 256);
}

// Altimeter: ticks every 20 feet, numerals 0-9, a striped low-altitude flag window.
Bitmap altimeterFace() {
  Palette pal(256);
  const Ink white{0, 63}, orange{128, 191};
  pal.ramp(0, 63, kBlack, kWhite);
  pal.ramp(64, 127, kBlack, {230, 230, 234});
  pal.ramp(128, 191, kBlack, {250, 140, 20});
  pal.ramp(192, 255, {10, 14, 22}, {150, 170, 200});  // spare: cool greys
  Canvas cv(181, 181, 0);
  const Pt c{90.5, 90.5};
  cv.shade(
      whole(cv), [c](double x, double y) { return std::hypot(x - c.x, y - c.y) > 81.5; },
      [c](double x, double y) {
        const double dx = x - c.x, dy = y - c.y, r = std::hypot(dx, dy);
        if (r < 82) return 0.0;
        if (r < 86) return 0.35 - 0.3 * lit(dx, dy);  // inner lip, in shadow at the top
        if (r <= 90) return 0.6 + 0.35 * lit(dx, dy);
        return 0.2;
      },
      64, 127);
  for (int i = 0; i < 50; ++i) {
    const bool major = i % 5 == 0;
    stroke(cv, polar(c, major ? 68 : 73, i * 7.2), polar(c, 80, i * 7.2), major ? 1.4 : 0.7, white);
  }
  for (int n = 0; n < 10; ++n) text(cv, std::to_string(n), polar(c, 56, n * 36), 16, white);
  // The flag window: orange and black stripes at 45 degrees in a white frame.
  cv.paint(
      {70, 118, 111, 132},
      [](double x, double y) { return x >= 71 && x <= 110 && y >= 119 && y <= 131; }, white);
  cv.paint({72, 120, 109, 130},
           [](double x, double y) { return x >= 72.5 && x <= 108.5 && y >= 120.5 && y <= 129.5; },
           {0, 0});
  cv.paint(
      {72, 120, 109, 130},
      [](double x, double y) {
        return x >= 72.5 && x <= 108.5 && y >= 120.5 && y <= 129.5 &&
               std::fmod(x + y + 100, 8.0) < 4;
      },
      orange);
  return cv.toBitmap(pal, 256);
}

// The barometric window strip: "2992" in white on black inside a grey frame.
Bitmap baroStrip() {
  Palette pal(16);
  pal.ramp(0, 15, kBlack, kWhite);
  Canvas cv(57, 19, 0);
  cv.paint(whole(cv), [](double x, double y) { return x < 1.5 || y < 1.5 || x > 55.5 || y > 17.5; },
           {7, 7});
  text(cv, "2992", {28.5, 9.5}, 11, {0, 15});
  return cv.toBitmap(pal, 16);
}

// Fuel quantity scale: a bar running red (empty) through amber to green (full)
// beside a tick column, in a bevelled frame.
Bitmap fuelBar() {
  Palette pal(200);
  pal.ramp(0, 90, {200, 20, 20}, {245, 170, 20});
  pal.ramp(90, 179, {245, 170, 20}, {40, 190, 60});
  pal.ramp(180, 199, {18, 18, 20}, {235, 235, 235});
  Canvas cv(21, 150, 182);
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 21; ++x) {
      int v = 182;
      if (x < 2 || y < 2)
        v = 196;  // bevel: light top and left
      else if (x > 18 || y > 147)
        v = 186;  // dark bottom and right
      else if (x <= 11)
        v = static_cast<int>(std::lround(179 - (y - 2) * 179.0 / 145));
      else if ((y - 2) % 29 == 0)
        v = 199;  // quarter marks
      else if ((y - 2) % 29 == 14 && x <= 15)
        v = 195;
      cv.at(x, y) = static_cast<uint8_t>(v);
    }
  return cv.toBitmap(pal, 200);
}

// Altitude tape: a tick every 100 feet, numbered in hundreds every 500, white on dark grey.
Bitmap altitudeTape() {
  Palette pal(16);
  pal.ramp(0, 15, {40, 40, 44}, kWhite);
  Canvas cv(37, 200, 0);
  for (int i = 0; i <= 20; ++i) {
    const double y = 10.5 + i * 9;  // on pixel centres, so each tick is one crisp row
    const bool major = i % 5 == 0;
    stroke(cv, {0, y}, {major ? 9.0 : 5.0, y}, 0.6, {0, 15});
    if (major) text(cv, std::to_string(45 - i / 5 * 5), {24, y}, 10, {0, 15});
  }
  return cv.toBitmap(pal, 16);
}

// Heading tape 325 to 035 degrees, two pixels a degree, north in amber.
Bitmap headingTape() {
  Palette pal(200);
  const Ink white{0, 63}, amber{64, 127};
  pal.ramp(0, 63, {28, 30, 36}, kWhite);
  pal.ramp(64, 127, {28, 30, 36}, {250, 180, 30});
  pal.ramp(128, 199, kBlack, {28, 30, 36});
  Canvas cv(150, 23, 0);
  // The card curves away at top and bottom edges.
  cv.shade(
      whole(cv), [](double, double y) { return y < 4 || y > 19; },
      [](double, double y) { return 1.0 - 0.6 * std::max(4 - y, y - 19) / 4; }, 128, 199);
  for (int deg = -35; deg <= 35; deg += 5) {
    const double x = 74.5 + deg * 2;  // ticks on pixel centres stay crisp
    const bool ten = deg % 10 == 0;
    stroke(cv, {x, 22}, {x, ten ? 16.0 : 19.0}, 0.7, white);
    const int heading = (deg + 360) % 360 == 0 ? 360 : (deg + 360) % 360;
    if (ten) text(cv, std::to_string(heading / 10), {x, 9}, 8, heading == 360 ? amber : white);
  }
  return cv.toBitmap(pal, 200);
}

// A round lamp: lens, bezel and (when lit) a glow spilling onto the panel.
// The palette holds three runs: lens light, bezel grey, panel-to-glow.
struct LampRuns {
  int lens0, lens1, bezel0, bezel1, glow0, glow1;
};

Bitmap lamp(int size, double lensR, double bezelR, bool on, const LampRuns& k, const Palette& pal,
            int32_t storedColors) {
  Canvas cv(size, size, k.glow0);
  const Pt c{size / 2.0, size / 2.0};
  const double reach = size / 2.0;
  // Glow on the panel round the bezel.
  cv.shade(
      whole(cv), [](double, double) { return true; },
      [=](double x, double y) {
        const double r = std::hypot(x - c.x, y - c.y);
        if (!on || r < bezelR) return 0.0;
        const double t = std::max(0.0, 1 - (r - bezelR) / (reach - bezelR + 2));
        return t * t * 0.85;
      },
      k.glow0, k.glow1);
  // Bezel ring, blended into the panel at its outer edge.
  cv.shade(
      whole(cv),
      [=](double x, double y) {
        const double r = std::hypot(x - c.x, y - c.y);
        return r >= lensR && r <= bezelR;
      },
      [=](double x, double y) {
        const double dx = x - c.x, dy = y - c.y, r = std::hypot(dx, dy);
        if (r > bezelR) return 0.15;
        return 0.55 + 0.4 * lit(dx, dy) * (r > (lensR + bezelR) / 2 ? 1 : -1);
      },
      k.bezel0, k.bezel1);
  // Lens: bright core falling off to the rim, Fresnel rings and a highlight.
  cv.shade(
      whole(cv), [=](double x, double y) { return std::hypot(x - c.x, y - c.y) < lensR - 0.5; },
      [=](double x, double y) {
        const double dx = x - c.x, dy = y - c.y, r = std::hypot(dx, dy) / lensR;
        double v = on ? 0.95 - 0.45 * r * r : 0.22 - 0.08 * r;
        v += (std::fmod(r * lensR, 3.0) < 1.0 ? -0.04 : 0.0);
        const double hx = dx / lensR + 0.35, hy = dy / lensR + 0.35;
        v += 0.25 * std::max(0.0, 1 - (hx * hx + hy * hy) * 12);
        return v;
      },
      k.lens0, k.lens1);
  return cv.toBitmap(pal, storedColors);
}

Palette lampPalette(int entries, const LampRuns& k, Rgb deep, Rgb bright, Rgb hot) {
  Palette pal(entries);
  const int mid = (k.lens0 + k.lens1) / 2;
  pal.ramp(k.lens0, mid, mix(kBlack, deep, 0.3), bright);
  pal.ramp(mid, k.lens1, bright, hot);
  pal.ramp(k.bezel0, k.bezel1, {20, 20, 22}, {230, 230, 232});
  pal.ramp(k.glow0, k.glow1, kPanelGrey, mix(kPanelGrey, bright, 0.8));
  return pal;
}

// ---------------------------------------------------------------------------
// The files

// A 4-bit picture (planes 1, 4 bits per pixel): gauge files carry these too,
// and the 8-bit scan must pass them by.
std::vector<uint8_t> fourBitIcon() {
  constexpr int kSide = 32;
  constexpr int kRowBytes = kSide / 2;  // two pixels a byte; 16 is already a multiple of 4
  std::vector<uint8_t> out;
  auto le = [&out](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  le(40, 4), le(kSide, 4), le(kSide, 4), le(1, 2), le(4, 2), le(0, 4);
  le(kRowBytes * kSide, 4), le(2835, 4), le(2835, 4), le(16, 4), le(0, 4);
  static const Rgb kVga[16] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                               {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                               {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                               {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
  for (const Rgb& c : kVga) out.insert(out.end(), {uint8_t(c.b), uint8_t(c.g), uint8_t(c.r), 0});
  for (int y = kSide - 1; y >= 0; --y)
    for (int x = 0; x < kSide; x += 2) {
      auto pix = [y](int px) {
        const double r = std::hypot(px + 0.5 - 16, y + 0.5 - 16);
        return r > 15 ? 0 : r > 13 ? 7 : (px == 16 && y > 5 && y < 16) ? 15 : 4;
      };
      out.push_back(static_cast<uint8_t>(pix(x) << 4 | pix(x + 1)));
    }
  return out;
}

std::vector<uint8_t> ascii(const std::string& s) {
  std::vector<uint8_t> v(s.begin(), s.end());
  v.push_back(0);
  return v;
}

struct SampleFile {
  std::string name;
  Gauge gauge;
  std::vector<int32_t> planted;
};

// Starts like an executable module, as gauge files do, then other bytes.
Gauge moduleStart(uint32_t seed, const std::string& title) {
  Gauge g;
  g.raw({'M', 'Z'}).filler(58, seed).raw({'P', 'E', 0, 0}).filler(200, seed + 1).raw(ascii(title));
  return g;
}

std::vector<SampleFile> buildSamples() {
  std::vector<SampleFile> files;

  {
    SampleFile f{"PANEL.GAU", moduleStart(11, "Main panel"), {}};
    f.gauge.filler(310, 12);
    f.planted.push_back(f.gauge.plant(panelBackground()));
    f.gauge.filler(96, 13).raw(ascii("airspeed"));
    f.planted.push_back(f.gauge.plant(airspeedFace()));
    f.gauge.filler(64, 14);
    f.planted.push_back(f.gauge.plant(needle(21, 75, 11, 3.5, {245, 245, 240}, {190, 190, 186})));
    f.gauge.filler(40, 15);
    f.planted.push_back(f.gauge.plant(trimKnob()));
    f.gauge.filler(420, 16);
    files.push_back(std::move(f));
  }
  {
    SampleFile f{"altimeter.gau", moduleStart(21, "Altimeter"), {}};
    f.gauge.filler(120, 22).raw(fourBitIcon()).filler(180, 23);
    f.planted.push_back(f.gauge.plant(altimeterFace()));
    f.gauge.filler(72, 24);
    f.planted.push_back(f.gauge.plant(needle(13, 90, 8, 2.5, {240, 240, 236}, {185, 185, 180})));
    f.gauge.filler(72, 25);
    f.planted.push_back(f.gauge.plant(needle(17, 60, 10, 4.5, {240, 240, 236}, {185, 185, 180})));
    f.gauge.filler(48, 26).raw(ascii("kollsman"));
    f.planted.push_back(f.gauge.plant(baroStrip()));
    f.gauge.filler(256, 27);
    files.push_back(std::move(f));
  }
  {
    SampleFile f{"tapes.gau", moduleStart(31, "Fuel and flight tapes"), {}};
    f.gauge.filler(150, 32);
    f.planted.push_back(f.gauge.plant(fuelBar()));
    f.gauge.filler(90, 33);
    f.planted.push_back(f.gauge.plant(altitudeTape()));
    f.gauge.filler(90, 34);
    f.planted.push_back(f.gauge.plant(headingTape()));
    f.gauge.filler(333, 35);
    files.push_back(std::move(f));
  }
  {
    SampleFile f{"lamps.gau", moduleStart(41, "Annunciator lamps"), {}};
    f.gauge.filler(140, 42);
    const LampRuns red{0, 127, 128, 191, 192, 255};
    const Palette redPal = lampPalette(256, red, {120, 0, 0}, {235, 40, 25}, {255, 225, 190});
    f.planted.push_back(f.gauge.plant(lamp(37, 11, 14.5, true, red, redPal, 0)));
    f.gauge.filler(60, 43);
    f.planted.push_back(f.gauge.plant(lamp(37, 11, 14.5, false, red, redPal, 0)));
    f.gauge.filler(60, 44);
    const LampRuns amber{0, 119, 120, 159, 160, 199};
    f.planted.push_back(f.gauge.plant(
        lamp(45, 14, 18, true, amber,
             lampPalette(200, amber, {120, 70, 0}, {250, 170, 20}, {255, 240, 190}), 200)));
    f.gauge.filler(60, 45);
    const LampRuns green{1, 9, 10, 15, 0, 0};
    Palette greenPal = lampPalette(16, green, {0, 90, 20}, {40, 220, 70}, {200, 255, 210});
    greenPal.set(0, kPanelGrey);
    f.planted.push_back(f.gauge.plant(lamp(19, 6, 8.5, true, green, greenPal, 16)));
    f.gauge.filler(190, 46);
    files.push_back(std::move(f));
  }
  {
    SampleFile f{"NOPICS.GAU", moduleStart(51, "Clock (no 8-bit pictures)"), {}};
    f.gauge.filler(400, 52).raw(fourBitIcon()).filler(300, 53);
    files.push_back(std::move(f));
  }
  return files;
}

// Every planes/bits signature in the file must be one we planted: a stray
// 01 00 08 00 in art or other bytes would make the demo show a false picture.
bool signaturesMatch(const SampleFile& f) {
  const auto& b = f.gauge.bytes();
  std::vector<int32_t> found;
  for (size_t i = 0; i + 4 <= b.size(); ++i)
    if (b[i] == 1 && b[i + 1] == 0 && b[i + 2] == 8 && b[i + 3] == 0)
      found.push_back(static_cast<int32_t>(i + 1));
  return found == f.planted;
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_samples DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  if (!isDirectory(dir)) {
    std::fprintf(stderr, "make_samples: %s is not an existing folder\n", dir.c_str());
    return 1;
  }
  std::vector<SampleFile> samples;
  try {
    samples = buildSamples();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_samples: cannot draw the samples: %s\n", e.what());
    return 1;
  }
  for (const SampleFile& f : samples) {
    if (!signaturesMatch(f)) {
      std::fprintf(stderr, "make_samples: %s would hold a stray 8-bit signature\n", f.name.c_str());
      return 1;
    }
    const std::string path = dir + "/" + f.name;
    if (!f.gauge.writeTo(path)) {
      std::fprintf(stderr, "make_samples: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
