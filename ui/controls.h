#pragma once
// Controls placed at a twips rectangle of their window, as every layout table gives them.

#include <QString>
#include <initializer_list>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace ui {

// A label with its caption at the top left of its box.
QLabel* newLabel(QWidget* parent, const QString& caption, int left, int top, int width, int height);
QPushButton* newButton(QWidget* parent, const QString& caption, int left, int top, int width,
                       int height);
QLineEdit* newTextBox(QWidget* parent, int left, int top, int width, int height);

// Makes the label's font smaller, a quarter point at a time, until its caption
// fits its box: the stand-in for MS Sans Serif runs wider, and a caption cut
// off mid-word would hide part of an instruction.
void fitCaption(QLabel* label);
// Fits each caption, then gives the whole group the smallest size, so a row of
// labels reads as one.
void fitCaptions(std::initializer_list<QLabel*> labels);

}  // namespace ui
