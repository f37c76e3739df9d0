// The one block size of cqscope-host's hosts, in frames: what a plug-in is told to expect and
// the spacing of the play loop's block grid. Its own header, so that the plug-in hosts, which
// the play loop includes, can use it too.
#pragma once

namespace cqhost {

constexpr int kBlockSize = 512;

}  // namespace cqhost
