// Inside the system layer only: the steps that start-up and shutdown run.
#pragma once

void LogCloseFile();

int InitWindow();
void EndWindow();

int InitFileSystem();
int TermFileSystem();

int StartAsyncLoadThreads();
int StopAsyncLoadThreads();  // runs what is queued first, serving main-thread calls
void SetMainThread();

int InitInputSystem();
int TermInputSystem();
void UpdateKeyboardState();
void ClearInputState();

void SeedRandomFromClock();
void DetectProcessorFeatures();
