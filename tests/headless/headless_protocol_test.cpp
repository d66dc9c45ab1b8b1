// The tamovid-headless protocol, on the real executable.
#include <gtest/gtest.h>

#include "support/headless_runner.h"

namespace tamo::test {
namespace {

using nlohmann::json;

TEST(HeadlessProtocol, UnknownActionsAreLoggedAndMalformedLinesSkipped) {
    auto r = runHeadlessRaw({
        R"({"swift": {"action": "noSuchThing"}})",
        "this is not json",
        R"(["an", "array"])",
        R"({"swift": 1, "extra": 2})",
        R"({"mystery": true})",
        R"({"swift": "openVideo"})",
        R"({"swift": {"action": "OpenVideo"}})",
        R"({"consoleLog": {"level": "warn", "message": "low disk 3"}})",
        R"({"consoleLog": {"level": "debug"}})",
    });
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.logLines(), (std::vector<std::string>{"⚠️ Unknown action: noSuchThing", "⚠️ Unknown action: OpenVideo",
                                                      "⚠️ JS[warn]: low disk 3"}));
    EXPECT_NE(r.stderrText.find("not JSON"), std::string::npos);
    EXPECT_NE(r.stderrText.find("unknown key"), std::string::npos);
    EXPECT_TRUE(r.scriptCalls().empty());
}

TEST(HeadlessProtocol, EmptyInputExitsCleanly) {
    auto r = runHeadlessRaw({});
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.lines.empty());
}

}  // namespace
}  // namespace tamo::test
