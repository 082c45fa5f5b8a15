// The diagnostic build's side of the benchmarks (diag_frames.cpp): the same frames, run by the
// plug-in's sources compiled as in Fraywick-diag, with the recording layer between them and the
// hook, recording into a file. They are compiled under the namespace fraywickDiag, so that they
// link into one program beside the shipped build's and the two can be timed in turns.
#pragma once

namespace fraywickDiag::bench::diag {

// As prepareWorld of frames.h, for the diagnostic copy; the frame by its number.
void prepareWorld(int frame);
// Starts a fresh recording (a load's attach, in a temporary folder of its own) with a script that
// loops over the frame, as the game runs it: the director's state put where the frame starts
// from, one loop pass, and the scriptWait that ends the frame, where the recording layer hands
// the frame's lines to the operating system. The first frame, which starts the script, runs here.
// Then each sim::tick() is one such frame. stopRecording() ends the recording (the detach, which
// writes the rest out) and removes the folder. Both stay out of the timed batches.
void startRecording(int frame);
void stopRecording();

}  // namespace fraywickDiag::bench::diag
