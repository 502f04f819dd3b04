#pragma once
// What the export and import windows share in looks: their icon, and captions
// kept whole inside their fixed boxes.

#include <QIcon>

class QLabel;

// A small framed picture with an arrow, drawn at 32 x 32 and 16 x 16 in colours of the 16-colour
// set.
QIcon conversionIcon();

// Makes the label's font smaller, a quarter point at a time, until its caption
// fits its box: the stand-in for MS Sans Serif runs wider, and a caption cut
// off mid-word would hide part of an instruction.
void shrinkToFit(QLabel* label);
