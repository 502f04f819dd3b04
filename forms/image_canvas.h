#pragma once
// The viewer's drawing surface: dots and text drawn into an image that the
// window paints, so a covered and uncovered window still shows the picture.

#include <QFont>
#include <QImage>
#include <QSize>

#include "gau/plot.h"

class ImageCanvas final : public gau::Canvas {
 public:
  // `size` in pixels of the window; the image holds `pixelRatio` device
  // pixels to each of them. Text is printed in `font`, black.
  ImageCanvas(QSize size, const QFont& font, double pixelRatio = 1.0);

  const QImage& image() const { return image_; }
  double pixelRatio() const { return ratio_; }

 protected:
  void erase() override;
  void drawDot(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) override;
  void drawText(int32_t x, int32_t y, const std::string& text) override;
  int32_t lineHeight() const override;

 private:
  // The dot grid for the current dot size, worked out once a picture, not once a dot.
  struct Grid {
    int dotSize = -1;
    int dotPixels = 1;  // device pixels a dot covers each way, the same for every dot
    int64_t pitch = 1;  // twips from one dot to the next
    double inversePitch = 1.0;
  };
  const Grid& grid() const;
  // The device pixel that a position in twips falls on.
  int toDevice(int32_t t) const;

  QImage image_;  // transparent where nothing is drawn
  QFont font_;
  double ratio_;
  mutable Grid grid_;
};
