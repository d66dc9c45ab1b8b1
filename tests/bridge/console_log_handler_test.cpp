// The native half of the console relay: one log line per well-formed message, nothing otherwise.
#include "bridge/console_log_handler.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace tamo {
namespace {

using test::LogCapture;

struct Relayed {
    const char* name;
    std::string body;  // as the web view hands it over: JSON text
    std::vector<std::string> lines;
};
void PrintTo(const Relayed& c, std::ostream* os) { *os << c.name; }

class ConsoleRelayTest : public ::testing::TestWithParam<Relayed> {};

TEST_P(ConsoleRelayTest, PrintsExactlyTheExpectedLines) {
    LogCapture log;
    ConsoleLogHandler().didReceive(std::string_view(GetParam().body));
    EXPECT_EQ(log.lines(), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, ConsoleRelayTest,
    ::testing::Values(Relayed{"log", R"({"level":"log","message":"{\"a\":1}"})", {"📋 JS[log]: {\"a\":1}"}},
                      Relayed{"warn", R"({"level":"warn","message":"low disk 3"})", {"⚠️ JS[warn]: low disk 3"}},
                      Relayed{"error", R"({"level":"error","message":"boom"})", {"❌ JS[error]: boom"}},
                      Relayed{"debug_uses_log_prefix", R"({"level":"debug","message":"x"})", {"📋 JS[debug]: x"}},
                      Relayed{"level_is_case_sensitive", R"({"level":"Error","message":"x"})", {"📋 JS[Error]: x"}},
                      Relayed{"warn_with_blank_is_not_warn", R"({"level":"warn ","message":"x"})", {"📋 JS[warn ]: x"}},
                      Relayed{"empty_level", R"({"level":"","message":""})", {"📋 JS[]: "}},
                      Relayed{"extra_keys_ignored", R"({"message":"m","x":[1,2],"level":"error"})", {"❌ JS[error]: m"}},
                      Relayed{"uncaught",
                              R"({"level":"error","message":"Uncaught: x is not defined"})",
                              {"❌ JS[error]: Uncaught: x is not defined"}},
                      Relayed{"non_ascii",
                              R"({"level":"log","message":"árvíztűrő 🎬 \u0000 end"})",
                              {std::string("📋 JS[log]: árvíztűrő 🎬 ") + '\0' + " end"}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Malformed, ConsoleRelayTest,
                         ::testing::Values(Relayed{"no_message", R"({"level":"debug"})", {}},
                                           Relayed{"no_level", R"({"message":"x"})", {}},
                                           Relayed{"numeric_level", R"({"level":3,"message":"x"})", {}},
                                           Relayed{"numeric_message", R"({"level":"log","message":3})", {}},
                                           Relayed{"null_message", R"({"level":"log","message":null})", {}},
                                           Relayed{"object_message", R"({"level":"log","message":{"a":1}})", {}},
                                           Relayed{"array_body", R"(["log","x"])", {}},
                                           Relayed{"text_body", R"("log: x")", {}}, Relayed{"number_body", "42", {}},
                                           Relayed{"null_body", "null", {}}, Relayed{"not_json", "{level: 'log'", {}},
                                           Relayed{"empty_text", "", {}},
                                           Relayed{"trailing_garbage", R"({"level":"log","message":"x"} extra)", {}}),
                         [](const auto& info) { return std::string(info.param.name); });

// The breaks are escaped, so a page message cannot forge further output lines.
TEST(ConsoleRelay, MultiLineMessageIsOneLineWithItsBreaks) {
    LogCapture log;
    ConsoleLogHandler().didReceive(std::string_view(R"({"level":"warn","message":"first\nsecond\r\nthird"})"));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0], "⚠️ JS[warn]: first\\nsecond\\r\\nthird");
}

TEST(ConsoleRelay, HugeMessageIsPrintedWhole) {
    LogCapture log;
    std::string message(8 * 1024 * 1024, 'x');
    nlohmann::json body = {{"level", "log"}, {"message", message}};
    ConsoleLogHandler().didReceive(std::string_view(body.dump()));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].size(), std::string("📋 JS[log]: ").size() + message.size());
}

TEST(ConsoleRelay, DeeplyNestedBodyIsDroppedWithoutCrashing) {
    LogCapture log;
    std::string deep = std::string(200000, '[') + std::string(200000, ']');
    ConsoleLogHandler().didReceive(std::string_view(deep));
    std::string deepInMessage = R"({"level":"log","message":"ok","x":)" + deep + "}";
    ConsoleLogHandler().didReceive(std::string_view(deepInMessage));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"📋 JS[log]: ok"});
}

}  // namespace
}  // namespace tamo
