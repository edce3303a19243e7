// Inside the system layer only: the steps that start-up and shutdown run.
#pragma once

void LogCloseFile();

int InitWindow();
void EndWindow();

int InitFileSystem();
int TermFileSystem();

int StartAsyncLoadThreads();
int StopAsyncLoadThreads();  // runs what is queued first, serving main-thread calls
// For an exit() with the threads up: drops what is queued, refuses main-thread calls and joins
// the threads once the loads in flight finish.
void EndAsyncLoadThreadsForExit();
void SetMainThread();

int InitInputSystem();
int TermInputSystem();
void UpdateKeyboardState();
void ClearInputState();

void SeedRandomFromClock();
void DetectProcessorFeatures();
