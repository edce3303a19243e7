// Platform layer: what tests read of the media layer's inner state. Nothing else includes this.
#pragma once

// For tests that step the sound output: the least sound, in milliseconds, that a streaming audio
// renderer holds ahead of the mixer; -1 when none is waiting for more (none, or all at their end).
int MediaAudioQueuedMs();
