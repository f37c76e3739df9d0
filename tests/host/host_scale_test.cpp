// render --scale: cqscope-host tells each format the display scale its own way (CLAP set_scale,
// VST 3 setContentScaleFactor) and the editor shows, at factor 2 and 3, exactly the factor-1
// picture with each pixel a block; the Hold click at that factor still holds. A VST 2.x editor
// cannot be told: without an X server's Xft.dpi asking for it, --scale 2 is refused clearly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "display/display_geometry.h"
#include "host_test_support.h"

namespace cqhost_test {
namespace {

namespace fs = std::filesystem;

// The plug-ins of each format whose host side tells a scale, where the build made them.
std::vector<std::string> scalablePlugins() {
    std::vector<std::string> plugins;
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
    if (plugins.empty()) GTEST_SKIP() << "neither cqscope.clap nor cqscope.vst3 was built";
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

TEST(HostScale, Vst2EditorThatKeepsFactorOneIsRefusedClearly) {
    if (!cqscopeHasEditor()) GTEST_SKIP() << "cqscope.so has no editor";
    ScratchDir dir;
    // No X server to ask for another factor: the VST 2.x editor stays at 1.
    const char* const display = std::getenv("DISPLAY");
    const std::string server = display != nullptr ? display : "";
    ::unsetenv("DISPLAY");
    const RunResult refused = runHost(
        {"render", "--plugin", cqscopePlugin(), "--scale", "2", "--out", dir.file("x2.png")});
    if (!server.empty()) ::setenv("DISPLAY", server.c_str(), 1);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("is 960 x 512, not the 1920 x 1024 of --scale 2"), std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(dir.file("x2.png")));
}

}  // namespace
}  // namespace cqhost_test
