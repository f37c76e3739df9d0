// How a host spreads a file's channels over an effect's inputs, shared by every command that
// plays a file through a plug-in (VST 2.x and CLAP, Linux and Windows). Any thread.
#pragma once

namespace cqhost {

// Fills an effect's input buffers from a file's left and right channels (equal for a mono
// file): even inputs get the left channel, odd ones the right, and a single input of a
// stereo file gets their mean, so that a mono effect hears both.
void feedInputs(float* const* inputs, int numInputs, const float* left, const float* right,
                int fileChannels, int frames);

}  // namespace cqhost
