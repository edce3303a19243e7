// Collision shapes and their contact tests, the angle helpers that balls, weapons and
// bosses aim with, and the shared reactions to a hit: an enemy hurt or beaten, a normal
// block destroyed with its item drops. CheckHitRect itself is declared in task.h.
#pragma once

#include <cstdint>

class Character;

// Face bits of a ball's contact with a box.
enum BallFace : int {
  kFaceTop = 2,
  kFaceBottom = 4,
  kFaceLeft = 8,
  kFaceRight = 16,
};

// AngleBetween's answer when either vector is zero.
constexpr double kNoAngle = 4.0;

struct Point2 {
  double x, y;
};

// (px, py) turned by `angle` about (cx, cy): clockwise on screen for a positive angle.
Point2 RotatePoint(double px, double py, double cx, double cy, double angle);
// The signed angle from vector a to vector b, in -pi..pi; kNoAngle for a zero vector.
// From a = (0, -100) it is the direction of b: 0 up, +pi/2 right.
double AngleBetween(double ax, double ay, double bx, double by);
// The velocity of length `speed` from one point toward another; straight down when
// the points are equal.
Point2 VectorToward(double fromX, double fromY, double toX, double toY, double speed);

// The shape tests on plain geometry (all comparisons as the collision rules state).
struct HitBox {
  double left, top, right, bottom;
};
struct HitCircle {
  double x, y, r;
};
struct HitSegment {
  double x, y, dx, dy;  // from (x, y) to (x + dx, y + dy)
};
bool BoxesTouch(const HitBox& a, const HitBox& b);
bool CirclesTouch(const HitCircle& a, const HitCircle& b);
bool BoxTouchesCircle(const HitBox& box, const HitCircle& c);
bool CircleTouchesSegment(const HitCircle& c, const HitSegment& s);
bool SegmentsTouch(const HitSegment& a, const HitSegment& b);
bool SegmentTouchesBox(const HitSegment& s, const HitBox& box);
// The face a ball moving along `ballAngle` meets on a box it touches, or 0.
int BallFaceOnBox(const HitBox& box, double ballX, double ballY, double ballAngle);

// An enemy's reaction to the hit code in its `hitCode`: damage, flash, or defeat.
void EnemyTakeHit(Character& enemy);
// Score, enemy count, the scroll after the last enemy; the enemy ends.
void DefeatEnemy(Character& enemy);
// A normal block whose life has run out: score, gauges and item drops; the block ends.
void HitNormalBlock(Character& block);

// Adds points to Score, stopping at the largest score an int holds.
void AddScore(int32_t points);

// Whole-pixel value of a position; 0 for values no int can hold.
int PixelOf(double v);
