// render --scale: cqscope-host tells each format the display scale its own way (CLAP set_scale,
// VST 3 setContentScaleFactor) and the editor shows, at factor 2 and 3, exactly the factor-1
// picture with each pixel a block; the Hold click at that factor still holds. cqscope's VST 2.x
// editor, which the interface cannot tell a scale, is told through its module the screen
// resolution of the factor, instead of the X server's.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "display/display_geometry.h"
#include "host_test_support.h"

namespace cqhost_test {
namespace {

namespace fs = std::filesystem;

// The plug-ins of each format, where the build made them.
std::vector<std::string> scalablePlugins() {
    std::vector<std::string> plugins;
    if (cqscopeHasEditor()) plugins.push_back(cqscopePlugin());
#if defined(CQHOST_CQSCOPE_CLAP)
    plugins.push_back(CQHOST_CQSCOPE_CLAP);
#endif
    const std::string bundle = std::string(CQHOST_PLUGIN_DIR) + "/cqscope.vst3";
    if (fs::is_directory(bundle)) plugins.push_back(bundle);
    return plugins;
}

// Whether `big` is `small` with each pixel a factor x factor block; names the first pixel
// that is not.
::testing::AssertionResult isBlownUp(const Image& big, const Image& small, int factor) {
    if (big.width != small.width * factor || big.height != small.height * factor) {
        return ::testing::AssertionFailure()
               << big.width << " x " << big.height << " is not " << factor << " x " << small.width
               << " x " << small.height;
    }
    for (int y = 0; y < big.height; ++y) {
        for (int x = 0; x < big.width; ++x) {
            if (big.at(x, y) != small.at(x / factor, y / factor)) {
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") differs";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(HostScale, EachFormatShowsTheFactorOnePictureInBlocksAndHoldsAtEveryFactor) {
    const std::vector<std::string> plugins = scalablePlugins();
    if (plugins.empty()) GTEST_SKIP() << "no cqscope plug-in with an editor was built";
    ScratchDir dir;
    // The demo chord, held at 0.5 s, pictured at 0.7 s: the Hold image shows white.
    const auto render = [&](const std::string& plugin, int factor) {
        const std::string out = dir.file("x" + std::to_string(factor) + ".png");
        const RunResult run = runHost({"render", "--plugin", plugin, "--hold-at", "0.5", "--at",
                                       "0.7", "--scale", std::to_string(factor), "--out", out});
        EXPECT_EQ(run.status, 0) << run.err;
        return readPng(out);
    };
    // Every shell shows the same picture: one factor-1 picture serves them all.
    const Image one = render(plugins.front(), 1);
    ASSERT_EQ(one.width, display::kWidth);
    ASSERT_EQ(one.height, display::kHeight);
    ASSERT_EQ(one.at(display::kHoldX, display::kHoldY), display::pixelOf(display::kWhite));
    for (const std::string& plugin : plugins) {
        SCOPED_TRACE(plugin);
        const std::vector<int> factors =
            plugin == plugins.front() ? std::vector<int>{2, 3} : std::vector<int>{2};
        for (int factor : factors) {
            EXPECT_TRUE(isBlownUp(render(plugin, factor), one, factor)) << "factor " << factor;
        }
    }
}

}  // namespace
}  // namespace cqhost_test
