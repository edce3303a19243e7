// The title screen: the scene of the menu loop. It shows the title image, scrolling it
// slowly, the hi-score of the current difficulty and a menu of three choices, and owns
// the stage select and the option screen while they are open.
#pragma once

#include <cstdint>
#include <memory>

#include "game/playfield/stage.h"
#include "game/task.h"

class OptionScreenTask;
class StageSelectScreenTask;

class TitleScreenTask : public Character {
 public:
  enum State : int32_t {
    kAtRest = 0,
    kScrolling = 1,
    kHeld = 2,       // at the bottom of the image
    kContinue = 3,   // the stage select is open
    kGameStart = 4,  // fading out into the first (or the chosen) stage
    kOptions = 5,    // fading out into the option screen
  };
  enum Choice : int32_t { kChoiceGameStart = 0, kChoiceContinue = 1, kChoiceOptions = 2 };

  // The title writes 0 to *leaveWord when it finishes.
  TitleScreenTask(int* leaveWord, StageRecord* record);
  ~TitleScreenTask() override;
  void Update() override;
  void Draw() override;

  OptionScreenTask* optionScreen() const { return option_.get(); }
  StageSelectScreenTask* stageSelect() const { return select_.get(); }

  int32_t state = kAtRest;
  int32_t cursor = kChoiceGameStart;
  int32_t fade = 0;  // alpha of the black cover
  int32_t arrowSwing = 0;

 private:
  void LoadTitleImage();

  int* leaveWord_;
  std::unique_ptr<OptionScreenTask> option_;
  std::unique_ptr<StageSelectScreenTask> select_;
  StageRecord* record_;
};
