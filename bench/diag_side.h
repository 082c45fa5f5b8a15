// The diagnostic build's side of the benchmarks (diag_frames.cpp): the same frames, run by the
// plug-in's sources compiled as in Fraywick-diag, with the recording layer between them and the
// hook, recording into a file. They are compiled under the namespace fraywickDiag, so that they
// link into one program beside the shipped build's and the two can be timed in turns.
#pragma once

namespace fraywickDiag::bench::diag {

// As prepareWorld and prepareState of frames.h, for the diagnostic copy; the frame by its number.
void prepareWorld(int frame);
void prepareState(int frame);
// One loop pass of the diagnostic copy (its runScriptPass).
void pass();
// Starts a fresh recording (a load's attach, in a temporary folder of its own) and ends it (the
// detach, which writes the rest out and removes the folder). Each stays out of the timed batches.
void startRecording();
void stopRecording();

}  // namespace fraywickDiag::bench::diag
