// A player for the headless harness: each frame it looks at the playfield as a player
// would (the play state and where the tasks are) and answers with the keys to hold.
// It keeps the ball up by standing under its predicted landing point and steering it
// toward the enemy blocks, fights the enemies that land, takes the scroll and the rice
// balls, stands under what the spinning ball must shoot, and dashes out of harm's way.
// The masters' own weapons it forecasts by their rules as well: the sinking vine and its
// flower, the calligraphy sheets before they strike, the rows of skulls long before they
// fall on it.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

class Character;

namespace scripted {

// An axis-aligned box in playfield pixels.
struct Box {
  double l = 0, t = 0, r = 0, b = 0;
  double cx() const { return (l + r) / 2; }
  double cy() const { return (t + b) / 2; }
  Box Moved(double dx, double dy) const { return {l + dx, t + dy, r + dx, b + dy}; }
  bool Touches(const Box& o) const { return l < o.r && o.l < r && t < o.b && o.t < b; }
};

// One way to spend the next frames: walk `dir` (-1, 0, +1) until frame `turnAt`, then
// `dir2`; a full jump or a dash (untouchable while it lasts) started now.
struct Plan {
  int dir = 0;
  int dir2 = 0;
  int turnAt = 1000;
  bool jump = false;
  int hold = 8;  // frames the jump key is held: 8 or more for the full height
  bool dash = false;
  int Dir(int k) const { return k < turnAt ? dir : dir2; }
};

// The collision shape of a task as its bounding box.
Box HitBoxOf(const Character& task);

class ScriptedPlayer {
 public:
  // The keys (engine key codes, default assignment) to hold during the next frame.
  std::set<int> Decide();
  // What the last decision was about, for tracing.
  const std::string& why() const { return why_; }

 private:
  struct Seen {
    double x, y, vx, vy;
  };
  // Speed of every live task from its last two positions.
  void Track();
  Seen Motion(const Character& task) const;
  // Where the flying ball comes down to the paddle: its x and the frames it needs.
  // Its path from now to the floor is kept in ballPath_.
  bool PredictLanding(double* x, int* frames);
  // The paddle offset that sends the ball from `landX` toward the best target.
  double SteeringOffset(double landX) const;

  // A blow under way: its moves and the frame of the press, kept until it lands.
  struct Commitment {
    Plan plan;
    int press = 0;
  };
  Commitment commit_;
  uint32_t commitFrom_ = 0, commitUntil_ = 0;
  int jumpHold_ = 8;  // how long the present jump's key is held
  // Blocks standing and when that last changed: a ball caught the same way for long may
  // be going round the same path.
  int blocksSeen_ = -1;
  uint32_t blocksSince_ = 0;
  std::map<uint64_t, Seen> seen_;
  std::vector<std::pair<double, double>> ballPath_;
  uint32_t frame_ = 0;
  std::set<int> keys_;
  std::set<int> prev_;
  std::string why_;
  int attempt_ = 0;         // lives lost so far
  bool dead_ = false;
};

}  // namespace scripted
