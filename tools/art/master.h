// The masters: robed figures 80 pixels tall, seen from the front, drawn
// half by half so that the game can pair any left arm with any right arm.
#pragma once

#include <functional>

#include "tools/art/canvas.h"

namespace art {

struct Arm {
  Pt elbow, hand;
};

struct Robe {
  int ramp = TEAL;          // kimono
  int trim = WHITE;         // collar
  uint8_t obi = col(GOLD);  // sash
  int hakama = -1;          // trousers below the sash, -1 for a long robe
  double shoulderY = 27, hemY = 75;
  double shoulderHalf = 10, hemHalf = 15;
  double sleeveR = 3.6;
};

// Draws the figure centred on `cx` into a canvas of the given size. `head`
// draws the head (and anything worn on it) around (cx, headY); `left` and
// `right` are the arms on the viewer's left and right (null: not drawn);
// `props` draws things held, after the arms.
struct MasterFigure {
  int width = 96, height = 80;
  double cx = 48;
  Robe robe;
  std::function<void(Canvas&)> head;
  std::function<void(Canvas&)> behind;  // drawn before the body
  std::function<void(Canvas&)> props;
};
Canvas drawMaster(const MasterFigure& f, const Arm* left, const Arm* right);

// Halves: the left part of the figure with its left arm, and the right part
// with its right arm. Both share the body, so any pairing lines up.
Canvas leftHalf(const MasterFigure& f, const Arm& left, int halfWidth);
Canvas rightHalf(const MasterFigure& f, const Arm& right, int halfWidth);

Arm mirror(const Arm& a, double cx);

// A face seen from the front: skin disc with eyes (and brows).
void face(Canvas& c, double cx, double cy, double r, bool stern);

}  // namespace art
