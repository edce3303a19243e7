#include "scripted_player.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/system/system.h"
#include "game/blocks_items.h"
#include "game/paddle_ball.h"
#include "game/play_state.h"
#include "game/player.h"
#include "game/small_enemies.h"
#include "game/task.h"

namespace scripted {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFloorY = 194;      // the player's y standing on the floor
constexpr double kPaddleY = 190;     // the ball's centre when it meets the paddle
constexpr double kMinX = 8, kMaxX = 200;  // the player's x between the walls

template <class T>
T* First(int layer) {
  for (int i = 0; i < TaskPool_Count(layer); ++i) {
    if (T* t = dynamic_cast<T*>(TaskPool_Get(layer, i))) return t;
  }
  return nullptr;
}

bool Hostile(const Character& c) {
  return !c.finished && c.hitShape != kHitNone &&
         (c.layer == kLayerEnemy || c.layer == kLayerBossPart || c.layer == kLayerBullet);
}

// Where a hostile task may reach soon beyond its own box: a katana soldier facing the
// player lunges with its blade, a wrestler leaps at the player.
Box DangerBox(const Character& c) {
  Box b = HitBoxOf(c);
  const int toward = c.flip ? -1 : 1;
  if (auto* soldier = dynamic_cast<const AshigaruMarugoshiTask*>(&c)) {
    if (soldier->srcY == 80 && (PlayerX - c.x) * toward > 0) {
      (toward > 0 ? b.r : b.l) += 64.0 * toward;
    }
  } else if (dynamic_cast<const SumouTask*>(&c) != nullptr && c.hitMask == 0 && c.counter > 50) {
    b.l -= 40;
    b.r += 40;
  }
  return b;
}

Box PlayerBoxAt(double x, double y) { return {x + 8, y + 3, x + 24, y + 27}; }

// One way to spend the next frames: walk (-1, 0, +1), with or without a full jump, or
// a dash (untouchable while it lasts).
struct Plan {
  int dir = 0;
  bool jump = false;
  bool dash = false;
};

}  // namespace

Box HitBoxOf(const Character& c) {
  switch (c.hitShape) {
    case kHitCircle:
      return {c.x + c.hitX - c.hitW, c.y + c.hitY - c.hitW, c.x + c.hitX + c.hitW, c.y + c.hitY + c.hitW};
    case kHitSegment: {
      double x0 = c.x + c.hitX, y0 = c.y + c.hitY;
      return {std::min(x0, x0 + c.hitW), std::min(y0, y0 + c.hitH), std::max(x0, x0 + c.hitW) + 1,
              std::max(y0, y0 + c.hitH) + 1};
    }
    default:
      return {c.x + c.hitX, c.y + c.hitY, c.x + c.hitX + c.hitW, c.y + c.hitY + c.hitH};
  }
}

void ScriptedPlayer::Track() {
  std::map<uint64_t, Seen> now;
  for (int layer = 0; layer < kLayerCount; ++layer) {
    for (int i = 0; i < TaskPool_Count(layer); ++i) {
      const Character* c = TaskPool_Get(layer, i);
      Seen s{c->x, c->y, 0, 0};
      auto it = seen_.find(c->serial());
      if (it != seen_.end()) {
        s.vx = c->x - it->second.x;
        s.vy = c->y - it->second.y;
      }
      now[c->serial()] = s;
    }
  }
  seen_.swap(now);
}

ScriptedPlayer::Seen ScriptedPlayer::Motion(const Character& c) const {
  auto it = seen_.find(c.serial());
  return it != seen_.end() ? it->second : Seen{c.x, c.y, 0, 0};
}

// The player's box k frames ahead under a plan, from its present state.
static std::vector<Box> PlayerPath(const PlayerTask& p, const Plan& plan, int frames) {
  std::vector<Box> path;
  double x = PlayerX, y = PlayerY, vy = p.speedY;
  bool falling = p.falling != 0;
  int hold = p.jumpHold;
  bool jumping = false;
  for (int k = 1; k <= frames; ++k) {
    if (plan.dash && k <= 10) {
      x += 8 * plan.dir;
      x = std::clamp(x, kMinX, kMaxX);
      path.push_back(PlayerBoxAt(x, y));
      vy = 0;
      if (k == 10) falling = true;
      continue;
    }
    if (plan.jump && k == 1 && y >= kFloorY) {
      vy = -4.0;
      falling = false;
      jumping = true;
      hold = 0;
    }
    y += vy;
    if (!falling) {
      if (jumping && hold <= 7) {
        ++hold;
      } else {
        falling = true;
      }
    }
    if (falling) vy = std::min(vy + 0.4, 6.0);
    if (y >= kFloorY) {
      y = kFloorY;
      vy = 0;
    }
    if (!plan.dash) x = std::clamp(x + 2.0 * plan.dir, kMinX, kMaxX);
    path.push_back(PlayerBoxAt(x, y));
  }
  return path;
}

bool ScriptedPlayer::PredictLanding(double* landX, int* frames) const {
  const BallTask* ball = First<BallTask>(kLayerBall);
  if (ball == nullptr || ball->state != BallTask::kFlying) return false;
  double x = ball->x, y = ball->y, vx = ball->vx, vy = ball->vy;
  if (vx == 0 && vy == 0) return false;
  if (y > kPaddleY && vy > 0) {  // past the paddle's top: only the body can still take it
    *landX = x;
    *frames = 0;
    return true;
  }
  // The blocks it may still bounce off; a block struck once is taken as gone.
  struct Block {
    Box box;
    int hits;
  };
  std::vector<Block> blocks;
  for (int i = 0; i < TaskPool_Count(kLayerBlock); ++i) {
    const Character* c = TaskPool_Get(kLayerBlock, i);
    if (!c->finished && c->hitShape == kHitBox) blocks.push_back({HitBoxOf(*c), std::max(1, c->life)});
  }
  for (int k = 1; k < 900; ++k) {
    if (x - 4 < 12 && vx < 0) vx = -vx;
    if (x + 4 >= 228 && vx > 0) vx = -vx;
    if (y - 4 <= 8 && vy < 0) vy = -vy;
    double nx = x + vx, ny = y + vy;
    for (Block& b : blocks) {
      if (b.hits == 0) continue;
      Box ball4 = {nx - 4, ny - 4, nx + 4, ny + 4};
      if (!ball4.Touches(b.box)) continue;
      --b.hits;
      if (x + 4 <= b.box.l || x - 4 >= b.box.r) {
        vx = -vx;
      } else {
        vy = -vy;
      }
      break;
    }
    x = nx;
    y = ny;
    if (vy > 0 && y > kPaddleY) {
      *landX = x;
      *frames = k;
      return true;
    }
  }
  return false;
}

double ScriptedPlayer::SteeringOffset(double landX) const {
  // Aim at the nearest standing enemy block, else at the nearest block of any kind.
  const Character* target = nullptr;
  double best = 1e9;
  for (int pass = 0; pass < 2 && target == nullptr; ++pass) {
    for (int i = 0; i < TaskPool_Count(kLayerBlock); ++i) {
      const Character* c = TaskPool_Get(kLayerBlock, i);
      if (c->finished || c->hitShape == kHitNone) continue;
      bool enemyBlock = dynamic_cast<const EnemyBlockTask*>(c) != nullptr;
      if (pass == 0 && !enemyBlock) continue;
      double d = std::fabs(c->x + c->width / 2.0 - landX);
      if (d < best) {
        best = d;
        target = c;
      }
    }
  }
  if (target == nullptr) return 3;
  double dx = target->x + target->width / 2.0 - landX;
  double dy = kPaddleY - (target->y + target->height / 2.0);
  double angle = std::atan2(dx, dy);
  // The six ways the paddle sends the ball and the offsets that choose them.
  const double angles[] = {-kPi / 4, -kPi / 6, -kPi / 12, kPi / 12, kPi / 6, kPi / 4};
  const double offsets[] = {-13, -8.5, -3, 3, 8.5, 13};
  int pick = 0;
  for (int i = 1; i < 6; ++i) {
    if (std::fabs(angles[i] - angle) < std::fabs(angles[pick] - angle)) pick = i;
  }
  return offsets[pick];
}

Character* ScriptedPlayer::NearestGroundEnemy() const {
  Character* best = nullptr;
  for (int i = 0; i < TaskPool_Count(kLayerEnemy); ++i) {
    Character* c = TaskPool_Get(kLayerEnemy, i);
    if (!Hostile(*c)) continue;
    Box b = HitBoxOf(*c);
    if (b.b < 200) continue;
    if (best == nullptr || std::fabs(b.cx() - (PlayerX + 16)) < std::fabs(HitBoxOf(*best).cx() - (PlayerX + 16)))
      best = c;
  }
  return best;
}

Character* ScriptedPlayer::NearestAirEnemy() const {
  Character* best = nullptr;
  for (int i = 0; i < TaskPool_Count(kLayerEnemy); ++i) {
    Character* c = TaskPool_Get(kLayerEnemy, i);
    if (!Hostile(*c)) continue;
    Box b = HitBoxOf(*c);
    if (b.b >= 200 || b.b < 135) continue;
    if (best == nullptr || std::fabs(b.cx() - (PlayerX + 16)) < std::fabs(HitBoxOf(*best).cx() - (PlayerX + 16)))
      best = c;
  }
  return best;
}

std::set<int> ScriptedPlayer::Decide() {
  ++frame_;
  Track();
  keys_.clear();
  PlayerTask* player = First<PlayerTask>(kLayerPlayer);
  if (player == nullptr || Health < 1 || !InputEnabled) {
    prev_.clear();
    if (Health < 1 && !dead_) ++attempt_;
    dead_ = Health < 1;
    return keys_;
  }
  dead_ = false;
  const double centre = PlayerX + 16;
  const bool onFloor = PlayerY >= kFloorY;
  const bool dashReady = player->dashTime == -8;
  BallTask* ball = First<BallTask>(kLayerBall);
  // A press needs the key up on the frame before.
  auto tap = [&](int key) {
    if (prev_.count(key) == 0) keys_.insert(key);
  };

  // What it wants to do, before asking whether that is safe.
  Plan want;
  bool slash = false, dashAttack = false;
  auto walkTo = [&](double playerX) {
    if (playerX < PlayerX - 1) want.dir = -1;
    if (playerX > PlayerX + 1) want.dir = 1;
  };
  auto faceAndSlash = [&](int side) {
    if ((side > 0) != (player->flip == 0)) {
      want.dir = side;
    } else {
      slash = true;
    }
  };

  double landX = 0;
  int landIn = 0;
  const bool landing = PredictLanding(&landX, &landIn);
  double catchX = landing ? landX - 16 - (landIn > 0 ? SteeringOffset(landX) : 0) : PlayerX;
  catchX = std::clamp(catchX, kMinX, kMaxX);
  const bool ballUrgent = landing && landIn <= std::fabs(catchX - PlayerX) / 2 + 14;

  if (ball != nullptr && ball->state == BallTask::kHeld && ball->alpha >= 255 && NormalBlockCount > 0 &&
      BossPhase != 4 && BossPhase != 5) {
    // After a lost life it launches from another place, so that the next try does not
    // repeat the last one frame for frame.
    double from = std::clamp(104.0 + (attempt_ % 2 ? -36.0 : 36.0) * attempt_, kMinX, kMaxX);
    if (std::fabs(PlayerX - from) > 1) {
      walkTo(from);
    } else {
      tap(KEY_INPUT_Z);
    }
    why_ = "launch";
  } else if (ballUrgent) {
    walkTo(catchX);
    why_ = "catch";
  } else {
    Character* item = nullptr;
    for (int i = 0; i < TaskPool_Count(kLayerItem); ++i) {
      auto* it = dynamic_cast<ItemTask*>(TaskPool_Get(kLayerItem, i));
      if (it == nullptr || it->finished || it->collected) continue;
      bool wanted = it->itemKind == 1 || (it->itemKind == 2 && Health < 5);
      if (wanted && (item == nullptr || std::fabs(it->x - PlayerX) < std::fabs(item->x - PlayerX))) item = it;
    }
    Character* ground = NearestGroundEnemy();
    Character* air = ground == nullptr ? NearestAirEnemy() : nullptr;
    if (item != nullptr) {
      walkTo(item->x - 8);
      why_ = "item";
    } else if (ground != nullptr) {
      Box e = HitBoxOf(*ground);
      Seen m = Motion(*ground);
      int side = e.cx() > centre ? 1 : -1;
      double gap = side > 0 ? e.l - (PlayerX + 24) : (PlayerX + 8) - e.r;
      double gapSoon = gap - side * m.vx * 6;
      why_ = "ground gap " + std::to_string(int(gap));
      if (PowerGauge >= 6 && dashReady && onFloor && gap < 50 && gap > -8) {
        want.dir = side;
        dashAttack = true;
      } else if (gapSoon > 22) {
        want.dir = side;
      } else if (gapSoon >= 2) {
        faceAndSlash(side);
      } else {
        want.dir = -side;
      }
    } else if (air != nullptr) {
      // A flyer is struck from a jump: the slash comes out near the top of it, some 16
      // frames after leaving the floor; the dash attack reaches it from further off.
      Box e = HitBoxOf(*air);
      Seen m = Motion(*air);
      int side = e.cx() > centre ? 1 : -1;
      double gap = side > 0 ? e.l - (PlayerX + 24) : (PlayerX + 8) - e.r;
      double gapAtTop = gap - side * m.vx * 16;
      why_ = "air gap " + std::to_string(int(gap));
      if (!onFloor) {
        if (PowerGauge >= 6 && dashReady && player->speedY > -1 && gap < 60 && gap > -20) {
          want.dir = side;
          dashAttack = true;
        } else if (PlayerY < 172) {
          slash = true;
        }
      } else {
        // The spot beside where it will be, facing it; under it is safe meanwhile.
        double spotRight = e.l + 16 * m.vx - 38, spotLeft = e.r + 16 * m.vx + 6;
        int face = std::fabs(spotRight - PlayerX) <= std::fabs(spotLeft - PlayerX) ? 1 : -1;
        double spot = std::clamp(face > 0 ? spotRight : spotLeft, kMinX, kMaxX);
        if (std::fabs(spot - PlayerX) > 3) {
          walkTo(spot);
        } else if ((face > 0) != (player->flip == 0)) {
          want.dir = face;
        } else if (std::fabs(gapAtTop - 14) < 12) {
          want.jump = true;
        }
      }
    } else if (ScrollTaken) {
      // The spinning ball shoots straight up from above the player's head.
      double target = -1;
      if (BossPhase == 2) {
        target = BossCenterX;
      } else {
        double best = 1e9;
        for (int i = 0; i < TaskPool_Count(kLayerBlock); ++i) {
          const Character* b = TaskPool_Get(kLayerBlock, i);
          double x = b->x + b->width / 2.0;
          if (!b->finished && std::fabs(x - centre) < std::fabs(best - centre)) best = x;
        }
        if (best < 1e9) target = best;
      }
      if (target >= 0) walkTo(target - 16);
      why_ = "shoot";
    } else if (landing) {
      walkTo(catchX);
      why_ = "wait";
    } else {
      why_ = "idle";
    }
  }

  // The paddle is gone while slashing or dashing: not with the ball about to come down.
  if (landing && landIn < 16) slash = dashAttack = false;
  if (landing && landIn < 30) want.jump = false;
  if (dashAttack) want.dash = true;

  // Safety: keep the plan when nothing hostile reaches the player on it soon and the
  // ball can still be met; otherwise take the way that costs least.
  auto harmIn = [&](const Plan& plan, int horizon) {
    std::vector<Box> path = PlayerPath(*player, plan, horizon);
    int first = horizon + 1;
    auto check = [&](const Box& b, const Seen& m) {
      for (int k = 1; k < first; ++k) {
        if (PlayerInvincibleTime > k || (plan.dash && k <= 10)) continue;  // dashing: untouchable
        if (b.Moved(m.vx * k, m.vy * k).Touches(path[static_cast<size_t>(k - 1)])) first = k;
      }
    };
    for (int layer : {kLayerEnemy, kLayerBossPart, kLayerBullet}) {
      for (int i = 0; i < TaskPool_Count(layer); ++i) {
        const Character* c = TaskPool_Get(layer, i);
        if (Hostile(*c)) {
          check(DangerBox(*c), Motion(*c));
        } else if (auto* block = dynamic_cast<const EnemyBlockTask*>(c); block && block->blockKind != 30) {
          check({c->x + 4, 180, c->x + 20, 224}, Seen{});  // what it lets out where it lands
        }
      }
    }
    return first;
  };
  // How far short of the ball the plan leaves the player (0 when it meets it).
  auto ballShortfall = [&](const Plan& plan) {
    if (!landing) return 0.0;
    if (landIn == 0) return std::max(0.0, std::fabs(landX - 16 - PlayerX) - 12);
    int k = std::min(landIn, 10);
    double x = PlayerPath(*player, plan, k).back().l - 8;
    if (plan.dash && landIn <= 10) return std::max(0.0, std::fabs(x + 16 - landX) - 14);
    return std::max(0.0, std::fabs(landX - 16 - x) - 2.0 * (landIn - k) - 10);
  };
  constexpr int kHorizon = 20;
  Plan chosen = want;
  if (want.dash && !dashReady) chosen.dash = false;
  // Lexicographic: health points at stake, then how far short of the ball, then how
  // soon the harm comes.
  struct Cost {
    int stake;
    double shortfall;
    int harm;
    bool operator<(const Cost& o) const {
      if (stake != o.stake) return stake < o.stake;
      if (shortfall != o.shortfall) return shortfall < o.shortfall;
      return harm > o.harm;
    }
  };
  auto cost = [&](const Plan& plan) {
    Cost c;
    c.harm = harmIn(plan, kHorizon);
    c.shortfall = ballShortfall(plan);
    c.stake = (c.harm <= (plan.dash ? 20 : 12) ? 1 : 0) + (c.shortfall > 0 ? 1 : 0);
    return c;
  };
  Cost best = cost(chosen);
  if (best.stake > 0) {
    std::vector<Plan> options;
    for (int dir : {want.dir, -1, 1, 0}) {
      options.push_back({dir, false, false});
      if (onFloor && !(landing && landIn < 30)) options.push_back({dir, true, false});
    }
    if (dashReady) {
      options.push_back({-1, false, true});
      options.push_back({1, false, true});
    }
    for (const Plan& p : options) {
      Cost c = cost(p);
      if (c < best) {
        best = c;
        chosen = p;
      }
    }
    if (chosen.dir != want.dir || chosen.jump != want.jump || chosen.dash != want.dash) {
      slash = false;
      if (!chosen.dash) dashAttack = false;
      why_ += " / evade " + std::to_string(chosen.dir) + (chosen.jump ? " jump" : "") + (chosen.dash ? " dash" : "");
    }
  }
  if (landing) why_ += " / land " + std::to_string(int(landX)) + " in " + std::to_string(landIn) + " at " + std::to_string(int(catchX));

  if (chosen.dir < 0) keys_.insert(KEY_INPUT_LEFT);
  if (chosen.dir > 0) keys_.insert(KEY_INPUT_RIGHT);
  if (chosen.jump && onFloor) tap(KEY_INPUT_X);
  if (!onFloor && player->speedY < 0) keys_.insert(KEY_INPUT_X);  // the full jump
  if (chosen.dash && dashReady) {
    keys_.insert(KEY_INPUT_C);
    if (dashAttack && PowerGauge >= 6) keys_.insert(KEY_INPUT_Z);
  } else if (slash) {
    tap(KEY_INPUT_Z);
  }
  prev_ = keys_;
  return keys_;
}

}  // namespace scripted
