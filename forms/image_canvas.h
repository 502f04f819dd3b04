#pragma once
// The viewer's drawing surface: dots and text drawn into an image that the
// window paints, so a covered and uncovered window still shows the picture.

#include <QFont>
#include <QImage>
#include <QSize>

#include "gau/plot.h"

class ImageCanvas final : public gau::Canvas {
 public:
  // `size` in pixels; text is printed in `font`, black.
  ImageCanvas(QSize size, const QFont& font);

  const QImage& image() const { return image_; }

 protected:
  void erase() override;
  void drawDot(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) override;
  void drawText(int32_t x, int32_t y, const std::string& text) override;
  int32_t lineHeight() const override { return lineHeight_; }

 private:
  QImage image_;  // transparent where nothing is drawn
  QFont font_;
  int32_t lineHeight_;
};
