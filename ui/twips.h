#pragma once
// Window layouts are given in twips; the screen has 15 twips to a pixel (96 dpi).

#include <QColor>
#include <QFont>
#include <QRect>

class QWidget;

namespace ui {

inline constexpr int kTwipsPerPixel = 15;

inline int twips(int t) { return (t + kTwipsPerPixel / 2) / kTwipsPerPixel; }

// Places a control at a twips rectangle of its parent's client area.
void place(QWidget* w, int left, int top, int width, int height);

// Fixes a window's client area to a size in twips.
void setClientSize(QWidget* w, int width, int height);

void setBackground(QWidget* w, const QColor& c);
void setTextColor(QWidget* w, const QColor& c);

// "MS Sans Serif" where the system has it, else a plain sans-serif of that size.
QFont msSansSerif(double points, bool bold = false);

}  // namespace ui
