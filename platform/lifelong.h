// Process-wide state that is made on first use and never destroyed.
//
// A thread may still use such state while the static destructors run: a library can end the
// process with exit() from under the engine (Xlib does when the display goes away). The engine's
// exit step ends its threads first, but it was registered when the engine started, and a static
// made later is destroyed before that step runs. State that the engine's threads, the sound
// device's mixing callback or that step touch is therefore a namespace-scope object (made before
// main, destroyed after the step) or lifelong.
#pragma once

template <class T>
T& Lifelong() {
  static T* const state = new T;
  return *state;
}
