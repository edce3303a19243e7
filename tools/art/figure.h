// A jointed figure for the characters: head, torso, two arms and two legs,
// each part its own shaded and outlined layer. Figures face right; the
// "front" limbs are the ones nearer the viewer.
#pragma once

#include "tools/art/canvas.h"

namespace art {

enum class Headgear { Hood, Jingasa, Topknot, Bare };

struct Look {
  uint8_t torso = col(NAVY);
  uint8_t sleeve = col(NAVY);
  uint8_t leg = col(NAVY);
  uint8_t foot = col(INK);
  uint8_t belt = col(RED);
  uint8_t skin = col(SKIN);
  uint8_t hood = col(NAVY);
  uint8_t hat = col(BROWN);
  uint8_t scarf = 0;  // hood tails; 0 for none
  Headgear head = Headgear::Hood;
  double headR = 4.6;
  double torsoTop = 4.0, torsoBottom = 3.4;  // half widths at neck and hip
  double armR = 1.5, legR = 1.8;
  double belly = 0;  // extra belly radius (the wrestler)
  bool eyesClosed = false, hurt = false;
};

struct Pose {
  Pt head, neck, hip;
  Pt eF, hF, eB, hB;  // elbows and hands, front and back arm
  Pt kF, fF, kB, fB;  // knees and feet, front and back leg
  double scarfLift = 0;  // how far the hood tails fly up (px)
};

enum PartMask { P_LEGS = 1, P_TORSO = 2, P_ARMS = 4, P_HEAD = 8, P_ALL = 15 };

void drawHuman(Canvas& c, const Pose& p, const Look& look, int parts = P_ALL);

// A straight sword from hilt end `a` towards `b` (the tip); `hilt` px of grip.
void drawSword(Canvas& c, Pt a, Pt b, double hilt, uint8_t blade = col(WHITE));

// Pose helpers: a standing figure with head top at `top`, centred on `cx`,
// feet on `floor` (the last row of the outline).
Pose standingPose(double cx, double top, double floor, double stride);

}  // namespace art
