// The sample rate a plug-in or a host assumes until it is told one, in Hz: the rate of a shell's
// core before its host starts it (no kernels are built for it), and the host's rate where no
// file or server gives one. Depends on nothing, so that any module or program may include it.
#pragma once

namespace cqscope {

inline constexpr double kDefaultSampleRate = 44100.0;

}  // namespace cqscope
