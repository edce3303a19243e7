// The origami master (cell code 52) and its papers: the two papers it holds, the papers
// it throws (planes that fly off, frog papers that land and hop), and the four big pieces
// it splits into in its second half. All draw from enemy sheet 5; every class keeps its
// state number in `hitMask`.
#pragma once

#include <cstdint>

#include "game/playfield/collision.h"
#include "game/task.h"

// A paper held in one hand: unfolds beside the master, then follows its hand.
class HandyOrigamiTask : public Character {
 public:
  // turn 0 is the left hand, 1 the right.
  HandyOrigamiTask(int x, int y, int sourceY, int turn);
  void Update() override;
  void Draw() override;

  // Unfolds again from the start at (x, y) with the given paper.
  void Rearm(int x, int y, int sourceY);

  double scale = 0.0;
  double angle = 0.0;
};

// A thrown paper. Row 208 is a paper plane that flies straight off; any other row lands,
// unfolds into a frog in the enemy layer and hops toward the player until the master
// reaches half health (with the no-aim flag: until the master is dead).
class ThrownOrigamiTask : public Character {
 public:
  // frogCounter counts the landed frogs alive; it is used only while counterOwner (when
  // given) lives, and never with the no-aim flag.
  ThrownOrigamiTask(int x, int y, int sourceY, int turn, int32_t* frogCounter, double targetX, double targetY,
                    double speed, bool noAim, Character* counterOwner = nullptr);
  void Update() override;
  void Draw() override;

  double angle = 0.0;
  int32_t maxLife;
  double hopX = 0.0, hopY = 0.0;
  uint8_t noAim;
  uint8_t plane;
  uint8_t counted = 0;  // 1 once this frog was added to the frog counter

 private:
  int32_t* Counter() const;
  Point2 AimHop();
  int32_t* frogCounter_;
  TaskRef<Character> counterOwner_;
  bool hasOwner_;
};

// One of the four big pieces of the split master.
class BigOrigamiTask : public Character {
 public:
  BigOrigamiTask(int x, int y, int targetX);
  void Update() override;
  void Draw() override;

  double scale = 1.0;
  int32_t previousState = 0;
  uint8_t gathering = 0;
  int32_t targetX;
  double angle = 0.0;
  int32_t moveLength = 40;
  uint8_t crashSound = 0;
  double goalX = 0.0, goalY = 0.0;
  double turnSpeed = 0.0;
  double turnDamping = 0.0;
};

class OrigamiMasterTask : public Character {
 public:
  // (x, y) is the cell position; stage set-up passes its cell code first.
  OrigamiMasterTask(int x, int y);
  OrigamiMasterTask(int code, int x, int y);
  void Update() override;
  void Draw() override;

  // The landed frogs alive (the master's source x is not drawn).
  int32_t& FrogCount() { return srcX; }

  int32_t leftFrame = 0;
  int32_t rightFrame = 56;
  int32_t brightness;
  int32_t fade;
  int32_t handChoice;  // 0 left, 1 right, 2 both
  int32_t throwRow = 176;
  int32_t returnColumn = 0;
  TaskRef<HandyOrigamiTask> leftPaper, rightPaper;
  TaskRef<BigOrigamiTask> pieces[4];
  int32_t effectX = 0, effectY = 80;
  double effectScale = 0.0, effectAngle = 0.0;
  int32_t effectMode = 0;  // 0 body only, 1 cloud only, 2 body and cloud

 private:
  void Waiting();
  void Waking();
  void Throwing();
  void Walking();
  void Clouding();
  void Splitting();
  void Jumping();
  void Reforming();
  void WalkingWithPieces();
  void SplittingAgain();
  void Dying();

  HandyOrigamiTask* ArmPaper(int hand, int sourceY);
  HandyOrigamiTask* Paper(int hand) const;
  void ThrowFrom(int hand, double fromX, double fromY, int row, double targetX, double targetY);
  bool PiecesIdle() const;
  void SetPieceStates(int state, int except);
  void SmokeHeldPapers();
  double BodyCenterX() const { return x + width / 2; }
};
