#include "game/playfield/collision.h"

#include <cmath>
#include <cstdint>

#include "game/playfield/blocks_items.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/enemies/small_enemies.h"
#include "game/task.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kBallRadiusLimit = 4;  // a circle this small against a box is a ball: faces count

constexpr int kItemGaugeStep = 48;
constexpr int kPowerGaugeMax = 32;
constexpr int kFullHealth = 5;
constexpr double kCoinSpeed = 0.5;
constexpr int kKnivesPerSide = 2;
constexpr double kKnifeSpread = kPi / 18;
constexpr double kKnifeSpeed = 4.0;
constexpr int kEnemyFlashFrames = 6;
constexpr int kSmokeHalf = 16;  // half the smoke sprite

HitBox BoxOf(const Character& t) {
  double l = t.x + t.hitX, top = t.y + t.hitY;
  return {l, top, l + t.hitW, top + t.hitH};
}

// Boxes met by a segment sit on whole pixels.
HitBox TruncatedBoxOf(const Character& t) {
  double l = static_cast<double>(PixelOf(t.x)) + t.hitX, top = static_cast<double>(PixelOf(t.y)) + t.hitY;
  return {l, top, l + t.hitW, top + t.hitH};
}

HitCircle CircleOf(const Character& t) { return {t.x + t.hitX, t.y + t.hitY, static_cast<double>(t.hitW)}; }

HitSegment SegmentOf(const Character& t) {
  return {t.x + t.hitX, t.y + t.hitY, static_cast<double>(t.hitW), static_cast<double>(t.hitH)};
}

double DistanceSquared(double ax, double ay, double bx, double by) {
  double dx = ax - bx, dy = ay - by;
  return dx * dx + dy * dy;
}

// Sign of the turn p -> q -> r: > 0 one way, < 0 the other, 0 in line.
double Orientation(double px, double py, double qx, double qy, double rx, double ry) {
  return (qx - px) * (ry - py) - (qy - py) * (rx - px);
}

// r lies within the bounding box of p..q (used once the three are known to be in line).
bool WithinSpan(double px, double py, double qx, double qy, double rx, double ry) {
  return std::fmin(px, qx) <= rx && rx <= std::fmax(px, qx) && std::fmin(py, qy) <= ry && ry <= std::fmax(py, qy);
}

}  // namespace

int PixelOf(double v) {
  if (!(v > -2147483648.0 && v < 2147483648.0)) return 0;
  return static_cast<int>(v);
}

void AddScore(int32_t points) {
  int64_t sum = int64_t{Score} + points;
  Score = sum > INT32_MAX ? INT32_MAX : sum < INT32_MIN ? INT32_MIN : static_cast<int32_t>(sum);
}

Point2 RotatePoint(double px, double py, double cx, double cy, double angle) {
  double c = std::cos(angle), s = std::sin(angle);
  double dx = px - cx, dy = py - cy;
  return {cx + c * dx - s * dy, cy + s * dx + c * dy};
}

double AngleBetween(double ax, double ay, double bx, double by) {
  double lengths = std::sqrt(ax * ax + ay * ay) * std::sqrt(bx * bx + by * by);
  if (lengths == 0.0) return kNoAngle;
  // Rounding can put the cosine of parallel vectors just outside -1..1.
  double cosine = (ax * bx + ay * by) / lengths;
  if (cosine > 1.0) cosine = 1.0;
  if (cosine < -1.0) cosine = -1.0;
  double angle = std::acos(cosine);
  return ax * by - ay * bx >= 0.0 ? angle : -angle;
}

Point2 VectorToward(double fromX, double fromY, double toX, double toY, double speed) {
  double dx = toX - fromX, dy = toY - fromY;
  double d = std::sqrt(dx * dx + dy * dy);
  if (d == 0.0) return {0.0, speed};
  return {speed * dx / d, speed * dy / d};
}

bool BoxesTouch(const HitBox& a, const HitBox& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool CirclesTouch(const HitCircle& a, const HitCircle& b) {
  double reach = a.r + b.r;
  return DistanceSquared(a.x, a.y, b.x, b.y) < reach * reach;
}

bool BoxTouchesCircle(const HitBox& box, const HitCircle& c) {
  if (box.left < c.x && c.x < box.right && c.y - c.r < box.bottom && c.y + c.r > box.top) return true;
  if (c.x - c.r < box.right && c.x + c.r > box.left && box.top < c.y && c.y < box.bottom) return true;
  double r2 = c.r * c.r;
  return DistanceSquared(c.x, c.y, box.left, box.top) < r2 || DistanceSquared(c.x, c.y, box.right, box.bottom) < r2 ||
         DistanceSquared(c.x, c.y, box.right, box.top) < r2 || DistanceSquared(c.x, c.y, box.left, box.bottom) < r2;
}

bool CircleTouchesSegment(const HitCircle& c, const HitSegment& s) {
  double ux = c.x - s.x, uy = c.y - s.y;
  double along = ux * s.dx + uy * s.dy;
  double d2;
  if (along <= 0.0) {
    d2 = ux * ux + uy * uy;
  } else if ((ux - s.dx) * s.dx + (uy - s.dy) * s.dy >= 0.0) {
    d2 = DistanceSquared(c.x, c.y, s.x + s.dx, s.y + s.dy);
  } else {
    // along > 0 here, so the segment has a length.
    double lengthSquared = s.dx * s.dx + s.dy * s.dy;
    d2 = ux * ux + uy * uy - along * along / lengthSquared;
  }
  return d2 <= c.r * c.r;
}

bool SegmentsTouch(const HitSegment& a, const HitSegment& b) {
  double ax2 = a.x + a.dx, ay2 = a.y + a.dy, bx2 = b.x + b.dx, by2 = b.y + b.dy;
  double o1 = Orientation(a.x, a.y, ax2, ay2, b.x, b.y);
  double o2 = Orientation(a.x, a.y, ax2, ay2, bx2, by2);
  double o3 = Orientation(b.x, b.y, bx2, by2, a.x, a.y);
  double o4 = Orientation(b.x, b.y, bx2, by2, ax2, ay2);
  if (((o1 > 0 && o2 < 0) || (o1 < 0 && o2 > 0)) && ((o3 > 0 && o4 < 0) || (o3 < 0 && o4 > 0))) return true;
  // End points on the other segment touch; collinear overlaps count as touching.
  if (o1 == 0 && WithinSpan(a.x, a.y, ax2, ay2, b.x, b.y)) return true;
  if (o2 == 0 && WithinSpan(a.x, a.y, ax2, ay2, bx2, by2)) return true;
  if (o3 == 0 && WithinSpan(b.x, b.y, bx2, by2, a.x, a.y)) return true;
  if (o4 == 0 && WithinSpan(b.x, b.y, bx2, by2, ax2, ay2)) return true;
  return false;
}

bool SegmentTouchesBox(const HitSegment& s, const HitBox& box) {
  if (box.left <= s.x && s.x <= box.right && box.top <= s.y && s.y <= box.bottom) return true;
  const HitSegment edges[4] = {
      {box.left, box.top, 0.0, box.bottom - box.top},
      {box.right, box.top, 0.0, box.bottom - box.top},
      {box.left, box.top, box.right - box.left, 0.0},
      {box.left, box.bottom, box.right - box.left, 0.0},
  };
  for (const HitSegment& edge : edges) {
    if (SegmentsTouch(s, edge)) return true;
  }
  return false;
}

int BallFaceOnBox(const HitBox& box, double ballX, double ballY, double ballAngle) {
  // Box sizes are whole pixels; their halves are taken in whole pixels.
  int w = PixelOf(box.right - box.left), h = PixelOf(box.bottom - box.top);
  double cx = box.left + w / 2, cy = box.top + h / 2;
  double k = std::fabs(AngleBetween(0.0, -100.0, box.left - cx, box.top - cy));
  if (k > kPi / 2) k = kPi - k;
  double b = AngleBetween(0.0, -100.0, ballX - cx, ballY - cy);
  double d = ballAngle;
  if ((d > kPi / 2 || d < -kPi / 2) && -k <= b && b < k) return kFaceTop;
  if (d < 0 && k <= b && b < kPi - k) return kFaceRight;
  if (d > 0 && -(kPi - k) <= b && b < -k) return kFaceLeft;
  if (d >= kPi / 2 || d <= -kPi / 2) return 0;
  if (b >= kPi - k || b < -(kPi - k)) return kFaceBottom;
  return 0;
}

int CheckHitRect(const Character& a, const Character& b) {
  switch (b.hitShape) {
    case kHitCircle:
      switch (a.hitShape) {
        case kHitBox: {
          HitBox box = BoxOf(a);
          HitCircle ball = CircleOf(b);
          if (!BoxTouchesCircle(box, ball)) return 0;
          if (b.hitW > kBallRadiusLimit) return 1;
          return BallFaceOnBox(box, ball.x, ball.y, BallAngle);
        }
        case kHitCircle:
          return CirclesTouch(CircleOf(a), CircleOf(b)) ? 1 : 0;
        case kHitSegment:
          return CircleTouchesSegment(CircleOf(b), SegmentOf(a)) ? 1 : 0;
        default:
          return 0;
      }
    case kHitBox:
      switch (a.hitShape) {
        case kHitBox:
          return BoxesTouch(BoxOf(a), BoxOf(b)) ? 1 : 0;
        case kHitCircle:
          return BoxTouchesCircle(BoxOf(b), CircleOf(a)) ? 1 : 0;
        case kHitSegment:
          return SegmentTouchesBox(SegmentOf(a), TruncatedBoxOf(b)) ? 1 : 0;
        default:
          return 0;
      }
    case kHitSegment:
      switch (a.hitShape) {
        case kHitBox:
          return SegmentTouchesBox(SegmentOf(b), TruncatedBoxOf(a)) ? 1 : 0;
        case kHitCircle:
          return CircleTouchesSegment(CircleOf(a), SegmentOf(b)) ? 1 : 0;
        case kHitSegment:
          return SegmentsTouch(SegmentOf(a), SegmentOf(b)) ? 1 : 0;
        default:
          return 0;
      }
    default:
      return 0;
  }
}

void EnemyTakeHit(Character& enemy) {
  if (enemy.flashTimer == 0) enemy.attackPower = 0;
  // The hit code is the attacker's power as a signed byte.
  int power = static_cast<int8_t>(enemy.hitCode);
  if (enemy.life <= 0 || power <= enemy.attackPower) return;
  enemy.life -= power;
  enemy.attackPower = power;
  if (enemy.life > 0) {
    PlaySoundEffect(kSeHitEnemy);
    enemy.flashTimer = kEnemyFlashFrames;
    return;
  }
  PlaySoundEffect(kSeDefeat);
  // Both offsets come from half the sprite width.
  int half = enemy.width / 2;
  CreateTask<DoronSmokeTask>(PixelOf(enemy.x + half - kSmokeHalf), PixelOf(enemy.y + half - kSmokeHalf));
  DefeatEnemy(enemy);
}

void DefeatEnemy(Character& enemy) {
  AddScore(enemy.score);
  EnemyBlockCount -= 1;
  if (EnemyBlockCount == 0) {
    CreateTask<ItemTask>(PixelOf(enemy.x + enemy.hitX + enemy.hitW / 2), PixelOf(enemy.y + enemy.hitY + enemy.hitH / 2),
                         kItemScroll, 0.0);
  }
  enemy.finished = 1;
}

void HitNormalBlock(Character& block) {
  AddScore(block.score);
  NormalBlockCount -= 1;
  block.finished = 1;
  if (!ScrollTaken && PowerGauge < kPowerGaugeMax) PowerGauge += 1;
  ItemGauge += ScrollTaken ? 2 : 1;

  int cx = PixelOf(block.x + block.hitX + block.hitW / 2);
  int cy = PixelOf(block.y + block.hitY + block.hitH / 2);
  if (ItemGauge >= kItemGaugeStep) {
    ItemGauge -= kItemGaugeStep;
    CreateTask<ItemTask>(cx, cy, Health < kFullHealth ? kItemRiceBall : kItemMoney, 0.0);
  } else if (ScrollTaken && (BossPhase == 0 || BossGaugeFull <= 0)) {
    CreateTask<ItemTask>(cx, cy, kItemCoin, kCoinSpeed);
    CreateTask<ItemTask>(cx, cy, kItemCoin, -kCoinSpeed);
  } else if (BossPhase == 2 && BossGaugeFull > 0) {
    for (int i = -kKnivesPerSide; i <= kKnivesPerSide; ++i) {
      CreateTask<KunaiShotTask>(cx, cy, i * kKnifeSpread, kKnifeSpeed, false);
    }
  }
}
