#include "scripted_player.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>
#include <vector>

#include "engine/system/system.h"
#include "game/playfield/blocks_items.h"
#include "game/playfield/collision.h"
#include "game/masters/dokuro_master.h"
#include "game/masters/ikebana_master.h"
#include "game/settings.h"
#include "game/masters/shodo_weapons.h"
#include "game/playfield/paddle_ball.h"
#include "game/play_state.h"
#include "game/playfield/player.h"
#include "game/enemies/small_enemies.h"
#include "game/task.h"
#include "game_test_util.h"

namespace scripted {

namespace {

using gametest::FirstTask;

constexpr double kPi = 3.14159265358979323846;
constexpr double kFloorY = 194;      // the player's y standing on the floor
constexpr double kPaddleY = 190;     // the ball's centre when it meets the paddle
constexpr double kMinX = 8, kMaxX = 200;  // the player's x between the walls

bool Hostile(const Character& c) {
  return !c.finished && c.hitShape != kHitNone &&
         (c.layer == kLayerEnemy || c.layer == kLayerBossPart || c.layer == kLayerBullet);
}

constexpr int kHorizon = 32;     // frames the player looks ahead
constexpr int kStakeFrames = 20;  // harm nearer than this changes the plan

Box PlayerBoxAt(double x, double y) { return {x + 8, y + 3, x + 24, y + 27}; }

// The player's body as its update moves it.
struct Body {
  double x, y, vy;
  bool falling, airborne, dashing;
  int jumpHold, dashTime, flip, invincible;

  bool Untouchable() const { return dashing || invincible > 0; }
  Box HitBox() const { return PlayerBoxAt(x, y); }

  void Step(int dir, bool jumpPress, bool jumpHeld, bool dashPress) {
    y += vy;
    if (invincible >= 71) {  // knocked back, out of control
      x += flip ? 1 : -1;
      Fall(false);
    } else {
      if (dashTime > -8) --dashTime;
      if (dashTime >= 1 && dashing) x += flip ? -8 : 8;
      if (dashTime == 0 && dashing) {
        falling = true;
        dashing = false;
        airborne = true;
      }
      Fall(jumpHeld);
      if (!dashing && dir != 0) {
        flip = dir < 0;
        x += 2.0 * dir;
      }
      if (!airborne && !dashing && jumpPress) {
        airborne = true;
        vy = -4;
        falling = false;
      }
      if (dashTime == -8 && dashPress) {
        vy = 0;
        dashTime = 11;
        dashing = true;
        airborne = true;
        falling = false;
      }
    }
    x = std::clamp(x, kMinX, kMaxX);
    if (invincible > 0) --invincible;
  }

 private:
  void Fall(bool jumpHeld) {
    if (!falling) {
      if (jumpHeld && jumpHold <= 7) {
        ++jumpHold;
      } else if (dashTime < 1) {
        falling = true;
      }
    }
    if (falling) vy = std::min(vy + 0.4, 6.0);
    if (y >= kFloorY) {
      y = kFloorY;
      jumpHold = 0;
      vy = 0;
      if (!dashing) airborne = false;
    }
  }
};

Body BodyOf(const PlayerTask& p) {
  return {p.x, p.y, p.speedY, p.falling != 0, p.move == PlayerTask::kMoveJump || p.move == PlayerTask::kMoveDash,
          p.action == PlayerTask::kActDash, p.jumpHold, p.dashTime, p.flip, PlayerInvincibleTime};
}

// The player's body after each of the next frames under a plan; `jumpFree` says the jump
// key was up last frame, so that holding it now is a press.
std::vector<Body> Path(const PlayerTask& p, const Plan& plan, bool jumpFree, int frames, int heldFor = 8) {
  std::vector<Body> path;
  Body b = BodyOf(p);
  for (int k = 1; k <= frames; ++k) {
    const bool held = plan.jump ? b.jumpHold < plan.hold : b.airborne && b.vy < 0 && b.jumpHold < heldFor;
    b.Step(plan.Dir(k), plan.jump && k == 1 && jumpFree, held || (plan.jump && k == 1), plan.dash && k == 1);
    path.push_back(b);
  }
  return path;
}

// ---- what every hostile task will cover in the coming frames ----

// Boxes that will hurt the player after k more updates, k = 1 .. kHorizon.
struct Forecast {
  std::vector<Box> at[kHorizon + 1];
  void Add(int k, const Box& b) {
    if (k >= 1 && k <= kHorizon) at[k].push_back(b);
  }
};

// A falling fire bomb from (x, y) with `speed`, first moved on update k0, then its flame.
void ForecastFire(Forecast& f, int k0, double x, double y, double speed, bool burning, int flameCounter) {
  int k = k0;
  if (!burning) {
    for (; k <= kHorizon; ++k) {
      y += speed;
      speed = speed < 8.0 ? speed + 0.3 : 8.0;
      if (y + 14 >= 224) {
        x -= 4;
        burning = true;
        flameCounter = 0;
        ++k;  // the flame waits a frame in its new layer
        break;
      }
      f.Add(k, {x + 2, y + 8, x + 6, y + 14});
    }
    // The flame from its first update on (height 8 lies below the floor).
  }
  int height = 8;
  for (; k <= kHorizon && burning; ++k) {
    int c = flameCounter++;
    if (c < 120) {
      height = std::min(32, (c + 1) / 2 * 8 + 8);
    } else {
      height = std::max(0, 32 - (c - 119) / 2 * 8);
      if (height < 1) break;
    }
    double top = 224 - height;
    f.Add(k, {x + 2, top + 8, x + 14, top + 32});
  }
}

// A flame of a fire sheet from update k0 on, at height h in state st, and the flames it
// starts on its way: each rises out of the floor, starts the next a step along at
// height 8, holds, and sinks.
void ForecastFlame(Forecast& f, int k0, double x, int h, int st, int waited, int step) {
  for (int k = k0; k <= kHorizon; ++k) {
    if (st == 0) {
      if (h < 32) {
        h += 4;
        const double next = x + step;
        if (h == 8 && 12 < next + 8 && next + 8 < 228) {
          // Made during this update; it may first move in this one or the next.
          ForecastFlame(f, k, next, 0, 0, 0, step);
          ForecastFlame(f, k + 1, next, 0, 0, 0, step);
        }
      } else if (++waited > 8) {
        st = 1;
      }
    }
    if (st == 1) {
      h -= 4;
      if (h <= 0) break;
    }
    const double top = 224 - h;
    f.Add(k, {x + 2, top + 8, x + 14, top + 32});
  }
}

// A fire sheet hovers for 30 updates, drops, and where it lands starts a flame each way.
void ForecastFireSheet(Forecast& f, const Character& c) {
  double y = c.y, v = c.work[1];
  int st = c.hitMask, cnt = c.counter;
  for (int k = 1; k <= kHorizon; ++k) {
    if (st == 0) {
      if (cnt >= 30) st = 1;
    } else {
      if (v < 6.0) v += 0.2;
      y += v;
      if (y + 48 > 224) {
        if (c.height == 48) {
          ForecastFlame(f, k + 1, std::floor(c.x) + 8, 0, 0, 0, -16);
          ForecastFlame(f, k + 1, std::floor(c.x) + 24, 0, 0, 0, 16);
        }
        break;
      }
    }
    ++cnt;
    f.Add(k, {c.x + 8, y + 3, c.x + 40, y + 45});
  }
}

// A thunder sheet strikes 30 updates after it appears: a line from it to the floor that
// sweeps toward where the player then is at 1.5 a frame, turning at the walls.
void ForecastThunder(Forecast& f, const Character& c) {
  double x = c.x, v = c.work[0];
  int st = c.hitMask, cnt = c.counter;
  const double top = c.y, sweep = Settings.difficulty == 0 ? 259.2 : 432.0;
  for (int k = 1; k <= kHorizon && st != 2; ++k) {
    if (st == 0) {
      if (cnt >= 30) {
        v = x < PlayerX + 16 ? 1.5 : -1.5;
        cnt = 0;
        st = 1;
      }
    } else if (cnt - 2 > sweep / std::fabs(v)) {
      st = 2;
    } else {
      x += v;
      if ((x < 12 && v < 0) || (x > 228 && v > 0)) v = -v;
    }
    ++cnt;
    if (st == 1) f.Add(k, {x - 2, top, x + 2, 224});
  }
}

// The skulls rain in columns, a few groups of them left free. Where to stand for the
// next rows to pass: each row is known from the moment it is dropped, long before the
// frames the other forecasts look at. Gives false when no row is near.
bool SkullShelter(double* shelterX, int* arrives) {
  struct Row {
    int in;  // frames until it reaches a standing player
    std::vector<double> columns;
  };
  std::vector<Row> rows;
  const double v = Settings.difficulty == 0 ? 2.0 : 2.25;
  for (int i = 0; i < TaskPool_Count(kLayerBossPart); ++i) {
    auto* skull = dynamic_cast<const DokuroBulletTask*>(TaskPool_Get(kLayerBossPart, i));
    if (skull == nullptr || skull->finished || skull->y - 10 >= 221) continue;  // below the player
    int in = std::max(0, static_cast<int>(std::ceil((187 - skull->y) / v)));
    auto row = std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return std::abs(r.in - in) < 8; });
    if (row == rows.end()) row = rows.insert(rows.end(), Row{in, {}});
    row->in = std::min(row->in, in);
    row->columns.push_back(skull->targetX);
  }
  if (rows.empty()) return false;
  std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.in < b.in; });
  // Clearance of a player at x from a row's skulls.
  auto clearance = [](const Row& row, double x) {
    double c = 1e9;
    for (double col : row.columns) c = std::min(c, std::max(col - 10 - (x + 24), (x + 8) - (col + 10)));
    return c;
  };
  double best = -1, bestScore = -1e18;
  for (double x = kMinX; x <= kMaxX; x += 1) {
    double c0 = clearance(rows[0], x);
    if (c0 < 3) continue;
    double score = -std::fabs(x - PlayerX) + std::min(c0, 12.0) * 2;
    if (rows.size() > 1 && rows[1].in - rows[0].in < 80) {
      // The one after it: from here, can the player get clear of it in time?
      double c1 = clearance(rows[1], x);
      if (c1 < 3) score -= 40;
    }
    if (score > bestScore) {
      bestScore = score;
      best = x;
    }
  }
  if (best < 0) return false;
  *shelterX = best;
  *arrives = rows[0].in;
  return true;
}

bool VineOfAFlower(const Character& box) {
  for (int layer : {kLayerEnemy, kLayerBossPart}) {
    for (int i = 0; i < TaskPool_Count(layer); ++i) {
      auto* flower = dynamic_cast<const YellowRedFlowerTask*>(TaskPool_Get(layer, i));
      if (flower != nullptr && flower->vineBox.get() == &box) return true;
    }
  }
  return false;
}

// Where a hostile task will be, played forward by its own rules; what it is about to
// throw is part of it.
void ForecastTask(Forecast& f, const Character& c, double vx, double vy, Forecast* body = nullptr) {
  auto addBody = [&](int k, const Box& b) {
    f.Add(k, b);
    if (body != nullptr) body->Add(k, b);
  };
  if (auto* sumo = dynamic_cast<const SumouTask*>(&c)) {
    double x = c.x, y = c.y, sx = sumo->speedX, sy = sumo->speedY;
    int st = c.hitMask, cnt = c.counter, flip = c.flip, hitX = c.hitX;
    for (int k = 1; k <= kHorizon; ++k) {
      double l = x + hitX;
      if (l <= 12) flip = 0; else if (l + 24 >= 228) flip = 1;
      if (st == 0) {
        x += flip ? -1 : 1;
        if (cnt == 75) {
          flip = x <= PlayerX ? 0 : 1;
          x -= 8;
          hitX += 8;
          cnt = 0;
          st = 1;
        }
      } else if (st == 1) {
        if (cnt == 16) {
          sx = 3;
          sy = -4;
        }
        if (cnt > 16 && sy < 8) sy += 0.3;
        x += flip ? -sx : sx;
        y += sy;
        if (cnt > 16 && y + 56 >= 224) {
          cnt = 0;
          st = 2;
          y = 168;
          sx = sy = 0;
        }
      } else if (cnt == 20) {
        hitX = 4;
        x += 8;
        cnt = 0;
        st = 0;
      }
      ++cnt;
      addBody(k, {x + hitX, y + 12, x + hitX + 24, y + 56});
    }
  } else if (auto* soldier = dynamic_cast<const AshigaruMarugoshiTask*>(&c)) {
    const bool katana = c.srcY == 80;
    double x = c.x, lunge = soldier->lungeSpeed;
    int st = c.hitMask, cnt = c.counter, flip = c.flip;
    bool blade = katana && soldier->companion && soldier->companion->hitShape != kHitNone;
    for (int k = 1; k <= kHorizon; ++k) {
      if (!katana || st == 0) {
        double l = x + 8;
        if (l <= 12) flip = 0; else if (l + 16 >= 228) flip = 1;
        x += flip ? -1 : 1;
        if (katana && c.y < PlayerY) {
          bool ahead = flip == 0 ? PlayerX - x < 80 && x < PlayerX : PlayerX - x > -80 && PlayerX < x;
          // The player may walk into its reach meanwhile: take a wider one.
          bool near = flip == 0 ? PlayerX - x < 100 && x < PlayerX + 20 : PlayerX - x > -100 && PlayerX < x + 20;
          if (ahead || near) {
            cnt = 0;
            lunge = 4;
            st = 1;
          }
        }
      } else if (st == 1) {
        if (cnt >= 26) {
          blade = true;
          double l = x + 8;
          if (l > 12 && l + 16 < 228) x += flip ? -lunge : lunge;
          lunge -= 0.2;
          if (lunge <= 0) {
            lunge = 0;
            cnt = 0;
            st = 2;
          }
        }
      } else if (cnt == 24) {
        blade = false;
        st = 0;
      }
      ++cnt;
      addBody(k, {x + 8, 192, x + 24, 224});
      if (blade) {
        double kx = x + (flip ? -32 : 32);
        f.Add(k, {kx + 9, 204, kx + 23, 210});
      }
    }
  } else if (dynamic_cast<const PurpleNinjaTask*>(&c) != nullptr) {
    int st = c.hitMask, cnt = c.counter, flip = c.flip;
    const Box self = HitBoxOf(c);
    for (int k = 1; k <= kHorizon; ++k) {
      if (st == 0) {
        flip = PlayerX <= c.x ? 1 : 0;
        if (cnt == 70) {
          st = 1;
          cnt = 0;
        }
      } else {
        if (cnt == 20) {
          double sx = std::floor(c.x) + (flip ? 0 : 16), sy = std::floor(c.y) + 12, v = flip ? -3.0 : 3.0;
          for (int j = k; j <= kHorizon; ++j) {
            sx += v;
            f.Add(j, {sx + 6, sy + 6, sx + 10, sy + 10});
          }
        }
        if (cnt == 30) {
          st = 0;
          cnt = 0;
        }
      }
      ++cnt;
      addBody(k, self);
    }
  } else if (auto* red = dynamic_cast<const RedNinjaTask*>(&c)) {
    double x = c.x, y = c.y, vy = red->speedY;
    int cnt = c.counter, flip = c.flip;
    for (int k = 1; k <= kHorizon; ++k) {
      double l = x + 10;
      if (l <= 12) flip = 0; else if (l + 28 >= 228) flip = 1;
      x += flip ? -1 : 1;
      y += vy * 0.25;
      vy += y > 120 ? -0.05 : 0.05;
      if (cnt % 140 == 80) ForecastFire(f, k, std::floor(x) + 20, std::floor(y) + 15, 0.0, false, 0);
      ++cnt;
      addBody(k, {x + 10, y + 4, x + 38, y + 33});
    }
  } else if (auto* fire = dynamic_cast<const KatonTask*>(&c)) {
    if (fire->hitMask == 0) {
      ForecastFire(f, 1, c.x, c.y, fire->speedY, false, 0);
    } else {
      ForecastFire(f, 1, c.x, c.y, 0, true, c.counter);
    }
  } else if (auto* star = dynamic_cast<const ShurikinTask*>(&c)) {
    Box b = HitBoxOf(c);
    for (int k = 1; k <= kHorizon; ++k) f.Add(k, b.Moved(star->vx * k, star->vy * k));
  } else if (auto* flower = dynamic_cast<const YellowRedFlowerTask*>(&c)) {
    // It slows to a stop, then its vine spans the field and sinks with it; moved by
    // fractions, the vine's box keeps to whole pixels, so its past motion misleads.
    double y = c.y, v = c.work[1];
    int st = c.hitMask, cnt = c.counter;
    for (int k = 1; k <= kHorizon && st != 1 && st != 5; ++k) {
      if (st == 0) {
        v -= 0.15;
        if (!(v > 0.0)) {
          v = 0.0;
          cnt = 0;
          st = flower->yellow ? 2 : 1;
        }
      } else if (cnt > 20) {
        v = 0.25;
      }
      const bool dying = y > 192;  // its last update, once this low
      y += v;
      ++cnt;
      addBody(k, {c.x + 2, y + 2, c.x + 24, y + 24});
      if (st == 2) {
        double vine = PixelOf(y) + 11.0;
        f.Add(k, {12, vine, 228, vine + 2});
      }
      if (dying) break;
    }
  } else if (auto* skull = dynamic_cast<const DokuroBulletTask*>(&c)) {
    double x = c.x, y = c.y;
    const double v = Settings.difficulty == 0 ? 2.0 : 2.25;
    for (int k = 1, cnt = c.counter; k <= kHorizon; ++k, ++cnt) {
      x = cnt < 30 ? skull->startX + (skull->targetX - skull->startX) * (cnt + 1) / 30 : skull->targetX;
      y += v;
      f.Add(k, {x - 10, y - 10, x + 10, y + 10});
    }
  } else if (auto* star = dynamic_cast<const BigShurikinTask*>(&c)) {
    // It flies to the floor, rests there 20 updates, then flies at where the player is.
    double x = c.x, y = c.y, vx = star->vx, vy = star->vy;
    int st = c.hitMask, cnt = c.counter;
    for (int k = 1; k <= kHorizon; ++k, ++cnt) {
      if (st == 0) {
        x += vx;
        y += vy;
        if (y > 204) {
          cnt = -1;
          st = 2;
        }
      } else if (st == 2) {
        if (cnt == 20) {
          Point2 v = VectorToward(x, y, PlayerX + 16, PlayerY + 16, 3.0);
          vx = v.x;
          vy = v.y;
          st = 1;
        }
      } else {
        x += vx;
        y += vy;
      }
      f.Add(k, {x - 9, y - 9, x + 9, y + 9});
    }
  } else if (dynamic_cast<const ShodoFirePaperTask*>(&c) != nullptr) {
    ForecastFireSheet(f, c);
  } else if (auto* flame = dynamic_cast<const ShodoFirePaperFireTask*>(&c)) {
    ForecastFlame(f, 1, c.x, c.height, c.hitMask, flame->waited, flame->step);
  } else if (dynamic_cast<const ShodoThunderPaperTask*>(&c) != nullptr) {
    ForecastThunder(f, c);
  } else if (dynamic_cast<const OnlyCollisionTask*>(&c) != nullptr && VineOfAFlower(c)) {
    // Its flower's forecast carries it.
  } else if (dynamic_cast<const AshigaruKatanaTask*>(&c) != nullptr) {
    // Its soldier's forecast carries it.
  } else {
    Box b = HitBoxOf(c);
    for (int k = 1; k <= kHorizon; ++k) addBody(k, b.Moved(vx * k, vy * k));
  }
}

// The hostile enemy nearest the player whose box's bottom lies in [bottomFrom, bottomTo):
// on the floor from 200 down, in a jump's reach from 135.
Character* NearestEnemy(double bottomFrom, double bottomTo) {
  Character* best = nullptr;
  for (int i = 0; i < TaskPool_Count(kLayerEnemy); ++i) {
    Character* c = TaskPool_Get(kLayerEnemy, i);
    if (!Hostile(*c)) continue;
    Box b = HitBoxOf(*c);
    if (b.b < bottomFrom || b.b >= bottomTo) continue;
    if (best == nullptr || std::fabs(b.cx() - (PlayerX + 16)) < std::fabs(HitBoxOf(*best).cx() - (PlayerX + 16)))
      best = c;
  }
  return best;
}

// Where the sword is after an update that has it out.
Box SlashBox(const Body& b) {
  return b.flip ? Box{b.x - 24, b.y, b.x + 8, b.y + 16} : Box{b.x + 24, b.y, b.x + 56, b.y + 16};
}
Box DashBox(const Body& b) { return {b.x + 2, b.y - 1, b.x + 30, b.y + 31}; }

// The ways to spend the next frames that the player weighs.
std::vector<Plan> Options(int wantDir, bool canJump, bool dashReady) {
  std::vector<Plan> options;
  for (int dir : {wantDir, -1, 1, 0}) {
    for (int dir2 : {dir, -1, 0, 1}) {
      for (int turn : {8, 16}) {
        if (dir2 == dir && turn == 16) continue;
        Plan p;
        p.dir = dir;
        p.dir2 = dir2;
        p.turnAt = dir2 == dir ? kHorizon + 1 : turn;
        options.push_back(p);
        if (canJump) {
          p.jump = true;
          for (int hold : {8, 4, 0}) {
            p.hold = hold;
            options.push_back(p);
          }
        }
      }
    }
  }
  if (dashReady) {
    for (int dir : {-1, 1}) {
      for (int dir2 : {-1, 0, 1}) {
        Plan p;
        p.dir = dir;
        p.dir2 = dir2;
        p.turnAt = 2;
        p.dash = true;
        options.push_back(p);
      }
    }
  }
  return options;
}

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

bool ScriptedPlayer::PredictLanding(double* landX, int* frames) {
  ballPath_.clear();
  const BallTask* ball = FirstTask<BallTask>(kLayerBall);
  if (ball == nullptr || ball->state != BallTask::kFlying) return false;
  double x = ball->x, y = ball->y, vx = ball->vx, vy = ball->vy;
  if (vx == 0 && vy == 0) return false;
  bool landed = false;
  if (y > kPaddleY && vy > 0) {  // past the paddle's top: only the body can still take it
    *landX = x;
    *frames = 0;
    landed = true;
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
  ballPath_.push_back({x, y});
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
    ballPath_.push_back({x, y});
    if (!landed && vy > 0 && y > kPaddleY) {
      *landX = x;
      *frames = k;
      landed = true;
    }
    if (landed && y + 4 >= 224) break;  // the floor
  }
  return landed;
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

std::set<int> ScriptedPlayer::Decide() {
  ++frame_;
  Track();
  keys_.clear();
  PlayerTask* player = FirstTask<PlayerTask>(kLayerPlayer);
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
  BallTask* ball = FirstTask<BallTask>(kLayerBall);
  // A press needs the key up on the frame before.
  auto tap = [&](int key) {
    if (prev_.count(key) == 0) keys_.insert(key);
  };

  // What it wants to do, before asking whether that is safe.
  Plan want;
  bool slash = false, dashAttack = false;
  double goal = -1;  // where it wants to walk, when it does
  auto walkTo = [&](double playerX) {
    goal = playerX;
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
  const int blocks = NormalBlockCount + EnemyBlockCount;
  if (blocks != blocksSeen_) {
    blocksSeen_ = blocks;
    blocksSince_ = frame_;
  }
  const uint32_t stale = (frame_ - blocksSince_) / 400;
  const double vary = stale == 0 ? 0.0 : static_cast<double>(stale % 5) * 4.0 - 8.0;
  double catchX = landing ? landX - 16 - (landIn > 0 ? SteeringOffset(landX) + vary : 0) : PlayerX;
  catchX = std::clamp(catchX, kMinX, kMaxX);
  const bool ballUrgent = landing && landIn <= std::fabs(catchX - PlayerX) / 2 + 14;

  double shelterX = 0;
  int shelterIn = 0;
  // Off to it once the walk there, with some slack, takes all the time left.
  const bool shelterNow = SkullShelter(&shelterX, &shelterIn) && std::fabs(shelterX - PlayerX) > 1 &&
                          shelterIn < std::fabs(shelterX - PlayerX) / 2 + 24;
  std::map<const Character*, Forecast> bodies;  // the enemies the sword can reach
  Forecast forecast;
  for (int layer : {kLayerEnemy, kLayerBossPart, kLayerBullet}) {
    for (int i = 0; i < TaskPool_Count(layer); ++i) {
      const Character* c = TaskPool_Get(layer, i);
      if (Hostile(*c) || (dynamic_cast<const ShodoThunderPaperTask*>(c) != nullptr && !c->finished)) {
        Seen m = Motion(*c);
        ForecastTask(forecast, *c, m.vx, m.vy, layer == kLayerEnemy ? &bodies[c] : nullptr);
      } else if (auto* block = dynamic_cast<const EnemyBlockTask*>(c); block && block->blockKind != 30) {
        for (int k = 1; k <= kHorizon; ++k) forecast.Add(k, {c->x + 4, 180, c->x + 20, 224});  // what it lets out
      }
    }
  }
  const bool jumpFree = prev_.count(KeyCode::X) == 0;
  auto harmIn = [&](const std::vector<Body>& path) {
    for (int k = 1; k <= kHorizon; ++k) {
      const Body& b = path[static_cast<size_t>(k - 1)];
      if (b.Untouchable()) continue;
      Box me = b.HitBox();
      for (const Box& h : forecast.at[k]) {
        if (h.Touches(me)) return k;
      }
    }
    return kHorizon + 1;
  };
  // How far short of the ball the plan leaves the player (0 when it meets it): the head
  // takes it at the paddle's height, the body (wider while dashing) on its way down.
  auto ballShortfall = [&](const std::vector<Body>& path) {
    if (!landing) return 0.0;
    const int floorIn = static_cast<int>(ballPath_.size()) - 1;
    double nearest = 1e9;
    for (int k = std::max(1, landIn - 1); k <= std::min(floorIn, kHorizon); ++k) {
      const Body& b = path[static_cast<size_t>(k - 1)];
      double bx = ballPath_[static_cast<size_t>(k)].first, by = ballPath_[static_cast<size_t>(k)].second;
      Box body = b.dashing ? DashBox(b) : b.HitBox();
      Box reach = {body.l - 3, body.t - 3, body.r + 3, body.b + 3};
      if (!b.dashing && by <= kPaddleY + 6) reach = {b.x - 3, b.y - 4, b.x + 35, b.y + 30};
      if (bx > reach.l && bx < reach.r && by > reach.t && by < reach.b) return 0.0;
      nearest = std::min(nearest, std::max(reach.l - bx, bx - reach.r));
    }
    if (floorIn <= kHorizon) return std::max(1.0, nearest);
    const Body& b = path.back();
    return std::max(0.0, std::fabs(landX - 16 - b.x) - 2.0 * (landIn - kHorizon) - 10);
  };
  // The soonest blow the player can land on an enemy: a slash pressed now or a few
  // frames on along one of its plans, or a dash attack; only along a plan that stays clear.
  struct Blow {
    Plan plan;
    int press = 0;  // frames until ATTACK is pressed; 0 for none
    bool dashAttack = false;
    int hit = kHorizon + 1;
    const Character* target = nullptr;
  } blow;
  if (!bodies.empty() && frame_ >= commitUntil_) {
    const bool canJump = onFloor && jumpFree;
    const bool slashFree = (player->action != PlayerTask::kActSlash || player->slashFrame > 9) &&
                           prev_.count(KeyCode::Z) == 0;
    for (const Plan& p : Options(0, canJump, dashReady && PowerGauge >= 6)) {
      std::vector<Body> path = Path(*player, p, jumpFree, kHorizon, jumpHold_);
      if (harmIn(path) <= kStakeFrames || ballShortfall(path) > 4) continue;
      const Character* struck = nullptr;
      auto hits = [&](int j, const Box& sword) {
        for (const auto& [enemy, f] : bodies) {
          for (const Box& b : f.at[j]) {
            if (b.Touches({sword.l + 2, sword.t + 2, sword.r - 2, sword.b - 2})) {  // a clear hit
              struck = enemy;
              return true;
            }
          }
        }
        return false;
      };
      if (p.dash) {
        for (int j = 2; j <= 11 && j < blow.hit; ++j) {
          if (hits(j, DashBox(path[static_cast<size_t>(j - 1)]))) blow = {p, 1, true, j, struck};
        }
        continue;
      }
      for (int press = slashFree ? 1 : 3; press <= 11; press += 2) {
        for (int j = press + 6; j <= std::min(press + 11, kHorizon) && j < blow.hit; ++j) {
          if (hits(j, SlashBox(path[static_cast<size_t>(j - 1)]))) blow = {p, press, false, j, struck};
        }
      }
    }
  }

  if (ball != nullptr && ball->state == BallTask::kHeld && ball->alpha >= 255 && NormalBlockCount > 0 &&
      BossPhase != 4 && BossPhase != 5) {
    // After a lost life it launches from another place, so that the next try does not
    // repeat the last one frame for frame.
    double from = std::clamp(104.0 + (attempt_ % 2 ? -36.0 : 36.0) * attempt_, kMinX, kMaxX);
    if (std::fabs(PlayerX - from) > 1) {
      walkTo(from);
    } else {
      tap(KeyCode::Z);
    }
    why_ = "launch";
  } else if (ballUrgent) {
    walkTo(catchX);
    why_ = "catch";
  } else if (shelterNow) {
    walkTo(shelterX);
    commitUntil_ = 0;
    why_ = "shelter " + std::to_string(int(shelterX)) + " in " + std::to_string(shelterIn);
  } else {
    Character* item = nullptr;
    for (int i = 0; i < TaskPool_Count(kLayerItem); ++i) {
      auto* it = dynamic_cast<ItemTask*>(TaskPool_Get(kLayerItem, i));
      if (it == nullptr || it->finished || it->collected) continue;
      bool wanted = it->itemKind == 1 || (it->itemKind == 2 && Health < 5);
      if (wanted && (item == nullptr || std::fabs(it->x - PlayerX) < std::fabs(item->x - PlayerX))) item = it;
    }
    Character* ground = NearestEnemy(200, 1e9);
    Character* air = ground == nullptr ? NearestEnemy(135, 200) : nullptr;
    // An enemy's box and motion, the side it is on and the room between it and the player.
    struct Approach {
      Box e;
      Seen m;
      int side;
      double gap;
    };
    auto approach = [&](const Character& c) {
      Approach a{HitBoxOf(c), Motion(c), 0, 0};
      a.side = a.e.cx() > centre ? 1 : -1;
      a.gap = a.side > 0 ? a.e.l - (PlayerX + 24) : (PlayerX + 8) - a.e.r;
      return a;
    };
    if (item != nullptr) {
      walkTo(item->x - 8);
      why_ = "item";
    } else if (frame_ < commitUntil_) {
      // A blow under way: its plan is kept to the end.
      const int k = static_cast<int>(frame_ - commitFrom_) + 1;
      want.dir = commit_.plan.Dir(k);
      slash = k == commit_.press;
      why_ = "blow " + std::to_string(k) + " of " + std::to_string(commitUntil_ - commitFrom_);
    } else if (blow.hit <= kHorizon) {
      want = blow.plan;
      if (blow.press == 1) {
        slash = !blow.dashAttack;
        dashAttack = blow.dashAttack;
      }
      commit_ = {blow.plan, blow.press};
      commitFrom_ = frame_;
      commitUntil_ = frame_ + static_cast<uint32_t>(blow.hit);
      why_ = std::string(blow.dashAttack ? "dash attack" : "slash") + " in " + std::to_string(blow.press) + " hits in " +
             std::to_string(blow.hit) + " " + typeid(*blow.target).name() + " life " + std::to_string(blow.target->life);
    } else if (ground != nullptr) {
      const auto [e, m, side, gap] = approach(*ground);
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
      const auto [e, m, side, gap] = approach(*air);
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
        // Not a spot where something stays that hurts (a kettle's stream).
        auto standing = [&](double x) {
          for (const Box& h : forecast.at[kHorizon]) {
            if (h.Touches(PlayerBoxAt(x, kFloorY))) return false;
          }
          return true;
        };
        const bool rightOk = standing(spotRight), leftOk = standing(spotLeft);
        int face = std::fabs(spotRight - PlayerX) <= std::fabs(spotLeft - PlayerX) ? 1 : -1;
        if (rightOk != leftOk) face = rightOk ? 1 : -1;
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
      // With a master awake, every block broken sends five knives at it: the blocks
      // first, then the master itself.
      double target = -1;
      double best = 1e9;
      for (int i = 0; i < TaskPool_Count(kLayerBlock); ++i) {
        const Character* b = TaskPool_Get(kLayerBlock, i);
        if (BossPhase == 2 && dynamic_cast<const NormalBlockTask*>(b) == nullptr) continue;
        double x = b->x + b->width / 2.0;
        if (!b->finished && std::fabs(x - centre) < std::fabs(best - centre)) best = x;
      }
      if (best < 1e9) target = best;
      if (BossPhase == 2 && target < 0) target = BossCenterX;
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
  if (dashAttack) want.dash = true;

  // Safety: what every hostile task will cover in the coming frames, then the plan
  // kept when nothing reaches the player on it soon and the ball can still be met;
  // otherwise the way that costs least.
  Plan chosen = want;
  if (want.dash && !dashReady) chosen.dash = false;
  if (chosen.jump && !(onFloor && jumpFree)) chosen.jump = false;
  // Lexicographic: health points at stake, then how soon the harm comes (a later one
  // may still be dodged), then how far short of the ball.
  // Then, all else equal, the nearer it ends to where it wanted to go (through what
  // stands in the way, dashing).
  struct Cost {
    int stake;
    double shortfall;
    int harm;
    double away;
    bool operator<(const Cost& o) const {
      if (stake != o.stake) return stake < o.stake;
      if (harm != o.harm) return harm > o.harm;
      if (shortfall != o.shortfall) return shortfall < o.shortfall;
      return away < o.away - 4;
    }
  };
  auto cost = [&](const Plan& plan) {
    std::vector<Body> path = Path(*player, plan, jumpFree, kHorizon, jumpHold_);
    Cost c;
    c.harm = harmIn(path);
    c.shortfall = ballShortfall(path);
    c.stake = (c.harm <= kStakeFrames ? 1 : 0) + (c.shortfall > 4 ? 1 : 0);
    c.away = goal < 0 ? 0.0 : std::fabs(path.back().x - goal);
    return c;
  };
  Cost best = cost(chosen);
  if (best.stake > 0) {
    const bool canJump = onFloor && jumpFree;
    std::vector<Plan> options = Options(want.dir, canJump, dashReady);
    for (const Plan& p : options) {
      Cost c = cost(p);
      if (c < best) {
        best = c;
        chosen = p;
      }
    }
    if (chosen.dir != want.dir || chosen.jump != want.jump || chosen.dash != want.dash) {
      slash = false;
      commitUntil_ = 0;
      if (!chosen.dash) dashAttack = false;
      why_ += " / evade " + std::to_string(chosen.dir) + (chosen.jump ? " jump" : "") + (chosen.dash ? " dash" : "") +
              " harm " + std::to_string(best.harm);
    }
  }
  if (landing) why_ += " / land " + std::to_string(int(landX)) + " in " + std::to_string(landIn) + " at " + std::to_string(int(catchX));

  if (chosen.dir < 0) keys_.insert(KeyCode::Left);
  if (chosen.dir > 0) keys_.insert(KeyCode::Right);
  if (chosen.jump && onFloor && jumpFree) {
    keys_.insert(KeyCode::X);
    jumpHold_ = chosen.hold;
  }
  // Held on for the height it chose.
  if (player->speedY < 0 && !player->falling && player->jumpHold < jumpHold_) keys_.insert(KeyCode::X);
  if (chosen.dash && dashReady) {
    keys_.insert(KeyCode::C);
    if (dashAttack && PowerGauge >= 6) keys_.insert(KeyCode::Z);
  } else if (slash) {
    tap(KeyCode::Z);
  }
  prev_ = keys_;
  return keys_;
}

}  // namespace scripted
