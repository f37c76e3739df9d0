// Magnitudes worked out ahead of a display's refreshes, for a program that knows the audio in
// advance (cqscope-host's render): it feeds a TransformAhead the blocks the effect is about to
// get and the moments its display will refresh, and the batched transform (batch_transform.h)
// computes a batch of those refreshes per pass over the kernels. A display's transform then
// takes the magnitudes of its window from the module-wide store instead of streaming the whole
// kernel set for one window.
//
// A planned result is taken only for exactly the window it was computed from: the same kernel
// set and, sample for sample, the same history (compared whole when it is taken). Since the
// batched transform gives the live exact transform's bits, whatever the program planned or
// fed, a display shows what it would have computed itself; a window nobody planned is
// transformed as before.
//
// Threads: a TransformAhead is used by one thread at a time (the program's), never the audio
// thread (it allocates and waits for the helper). `takePlanned` is for the user-interface
// thread of any analyser of the module; the store is behind a lock that neither side holds
// for long (never the audio thread's).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/batch_transform.h"
#include "analysis/bin_layout.h"
#include "analysis/constant_q_bank.h"
#include "analysis/large_pages.h"

namespace cqscope {

// Whether any TransformAhead of the module is open: then displays take planned magnitudes
// first and need no float copy of the kernels (any thread).
bool transformsPlanned() noexcept;

// If the store holds magnitudes computed with `kernels` for the window that ends after
// `writeCount` frames and holds exactly `window` (`length` samples, oldest first), copies
// them into `out`, forgets them and every older plan, and answers true. Otherwise answers
// false and changes nothing but dropping a plan for this moment whose samples differ.
bool takePlanned(const KernelSet& kernels, std::uint32_t writeCount, const double* window,
                 std::uint32_t length, Magnitudes& out);

class TransformAhead {
  public:
    // For audio at `sampleRate` Hz whose refreshes lie about `spacing` frames apart (sizes the
    // batch). Shares the module's kernel set of that rate (built if no effect holds it).
    // Throws std::invalid_argument for an unsupported rate and std::bad_alloc without memory.
    TransformAhead(double sampleRate, std::int64_t spacing);
    ~TransformAhead();
    TransformAhead(const TransformAhead&) = delete;
    TransformAhead& operator=(const TransformAhead&) = delete;

    // The refreshes one flush is best given: more share the kernel reads, fewer keep their
    // samples in cache.
    int batchSize() const noexcept { return batchSize_; }

    // The next block the effect will get, in the same cut (the two input channels); answers
    // the block's span as the effect's analysis measures it (ConstantQBank::appendBlock), so
    // that the caller can apply the display's silence rule.
    float audio(const float* left, const float* right, std::int32_t frames);
    // A refresh will transform the window that ends after the audio fed so far.
    void refresh();
    // Transforms the refreshes asked for since the last flush and stores their magnitudes for
    // the displays. Throws std::bad_alloc without memory (the refreshes are then dropped:
    // displays transform them themselves).
    void flush();

  private:
    std::shared_ptr<const LargeVector<double>> windowCopy(const double* from, const double* to);

    ConstantQBank bank_;  // the effect's intake: its mix, its span, its history
    BatchTransform batch_;
    int batchSize_;
    // The mono history in time order from frame tapeStart_ (negative: the zeros the history
    // starts with), up to the frame fed last.
    LargeVector<double> tape_;
    std::int64_t tapeStart_;
    std::int64_t fed_ = 0;
    std::vector<std::int64_t> pending_;  // window ends of the refreshes asked for, in frames
    std::vector<Magnitudes> magnitudes_;
    // The copies of the windows the store holds for the displays to compare; one nobody else
    // holds any longer is filled again, rather than new memory faulted in at every flush.
    std::vector<std::shared_ptr<LargeVector<double>>> windowCopies_;
};

}  // namespace cqscope
