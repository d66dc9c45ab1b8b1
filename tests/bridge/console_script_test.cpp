// The injected console script, run in a real JavaScript engine. The harness plays the page's window:
// a console that records its calls, event listeners the test fires by hand, and a "consoleLog"
// handler that records what is posted.
#include "bridge/console_script.h"

#include <gtest/gtest.h>
#include <jsc/jsc.h>
#include <nlohmann/json.hpp>

#include <string>

namespace tamo {
namespace {

using nlohmann::json;

constexpr const char* kHarness = R"JS(
var window = globalThis;
var posted = [];
var pageConsoleCalls = [];
var listeners = {};
globalThis.addEventListener = function (type, fn) { (listeners[type] = listeners[type] || []).push(fn); };
globalThis.webkit = { messageHandlers: { consoleLog: { postMessage: function (m) {
    posted.push(Object.assign({}, m));
} } } };
globalThis.console = {};
['log', 'warn', 'error', 'info', 'debug'].forEach(function (level) {
    console[level] = function () {
        pageConsoleCalls.push({ level: level, receiverIsConsole: this === console, args: Array.prototype.slice.call(arguments) });
    };
});
function fire(type, event) { (listeners[type] || []).forEach(function (fn) { fn(event); }); }
)JS";

class ConsoleScript : public ::testing::Test {
protected:
    // One engine for the whole run, never torn down: the engine's own teardown trips the undefined
    // behaviour checker on code it shares with this program (a false report); each test still
    // gets a fresh context, so no state leaks between tests.
    static JSCVirtualMachine* engine() {
        static JSCVirtualMachine* vm = jsc_virtual_machine_new();
        return vm;
    }

    ConsoleScript() : context_(jsc_context_new_with_virtual_machine(engine())) {
        eval(kHarness);
        globalsBefore_ = eval("JSON.stringify(Object.getOwnPropertyNames(globalThis).sort())");
        std::string script(consoleScript());
        eval(script);
    }
    ~ConsoleScript() override { g_object_unref(context_); }

    // Evaluates code; the result as text. A script error fails the test.
    std::string eval(const std::string& code) {
        JSCValue* v = jsc_context_evaluate(context_, code.c_str(), static_cast<gssize>(code.size()));
        if (JSCException* e = jsc_context_get_exception(context_)) {
            ADD_FAILURE() << "script error: " << jsc_exception_get_message(e) << " in " << code.substr(0, 200);
            jsc_context_clear_exception(context_);
        }
        char* s = jsc_value_to_string(v);
        std::string out = s ? s : "";
        g_free(s);
        g_object_unref(v);
        return out;
    }

    // Runs code after clearing the records; returns what reached the handler.
    json postedBy(const std::string& code) {
        eval("posted = []; pageConsoleCalls = [];");
        eval(code);
        return json::parse(eval("JSON.stringify(posted)"));
    }

    static json one(const char* level, const std::string& message) {
        return json::array({{{"level", level}, {"message", message}}});
    }

    JSCContext* context_;
    std::string globalsBefore_;
};

struct Forwarded {
    const char* name;
    const char* code;
    const char* level;
    std::string message;
};
void PrintTo(const Forwarded& c, std::ostream* os) { *os << c.name; }

class ConsoleScriptForwards : public ConsoleScript, public ::testing::WithParamInterface<Forwarded> {};

TEST_P(ConsoleScriptForwards, PostsLevelAndMessage) {
    EXPECT_EQ(postedBy(GetParam().code), one(GetParam().level, GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ConsoleScriptForwards,
    ::testing::Values(
        Forwarded{"object", "console.log({a: 1})", "log", R"({"a":1})"},
        Forwarded{"text_and_number", "console.warn('low disk', 3)", "warn", "low disk 3"},
        Forwarded{"error_object", "console.error(new Error('boom'))", "error", "boom"},
        Forwarded{"error_subclass", "console.log('got', new TypeError('bad type'))", "log", "got bad type"},
        Forwarded{"null", "console.log(null)", "log", "null"},
        Forwarded{"undefined", "console.log(undefined)", "log", "undefined"},
        Forwarded{"no_arguments", "console.log()", "log", ""},
        Forwarded{"array", "console.log([1, 'a', null])", "log", R"([1,"a",null])"},
        Forwarded{"booleans_and_reals", "console.log(true, 1.5, -0, NaN)", "log", "true 1.5 0 NaN"},
        Forwarded{"cyclic_object", "var o = {}; o.self = o; console.log(o)", "log", "[object Object]"},
        Forwarded{"cyclic_array", "var a = [1]; a.push(a); console.log(a)", "log", "1,"},
        Forwarded{"bigint_inside_object", "console.log({n: 10n})", "log", "[object Object]"},
        Forwarded{"bare_bigint", "console.log(10n)", "log", "10"},
        Forwarded{"symbol", "console.log(Symbol('s'))", "log", "Symbol(s)"},
        Forwarded{"function", "console.log(function f() { return 1; })", "log", "function f() { return 1; }"},
        Forwarded{"multi_line_text", "console.warn('one\\ntwo')", "warn", "one\ntwo"},
        Forwarded{"non_ascii", "console.log('árvíztűrő', '🎬')", "log", "árvíztűrő 🎬"},
        Forwarded{"date", "console.log({d: new Date(0)})", "log", R"({"d":"1970-01-01T00:00:00.000Z"})"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConsoleScript, AddsNoGlobalNames) {
    EXPECT_EQ(eval("JSON.stringify(Object.getOwnPropertyNames(globalThis).sort())"), globalsBefore_);
}

TEST_F(ConsoleScript, PageConsoleStillGetsEveryCallWithConsoleAsReceiver) {
    postedBy("console.log('a', 1); console.warn({w: true}); console.error(new Error('e'));");
    auto calls = json::parse(eval("JSON.stringify(pageConsoleCalls)"));
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0]["level"], "log");
    EXPECT_EQ(calls[0]["args"], json::array({"a", 1}));
    EXPECT_EQ(calls[1]["level"], "warn");
    EXPECT_EQ(calls[2]["level"], "error");
    for (const auto& c : calls) EXPECT_TRUE(c["receiverIsConsole"].get<bool>()) << c.dump();
}

TEST_F(ConsoleScript, OtherConsoleMethodsAreNotForwarded) {
    EXPECT_EQ(postedBy("console.info('i'); console.debug('d');"), json::array());
    EXPECT_EQ(eval("pageConsoleCalls.length"), "2");
}

TEST_F(ConsoleScript, UncaughtErrorIsForwarded) {
    EXPECT_EQ(postedBy("fire('error', {message: 'x is not defined'})"), one("error", "Uncaught: x is not defined"));
}

TEST_F(ConsoleScript, UnhandledRejectionIsForwarded) {
    EXPECT_EQ(postedBy("fire('unhandledrejection', {reason: 'nope'})"), one("error", "Promise: nope"));
    EXPECT_EQ(postedBy("fire('unhandledrejection', {reason: new Error('bad')})"), one("error", "Promise: Error: bad"));
    EXPECT_EQ(postedBy("fire('unhandledrejection', {reason: undefined})"), one("error", "Promise: undefined"));
}

TEST_F(ConsoleScript, UnprintableRejectionReasonDoesNotThrowIntoThePage) {
    EXPECT_EQ(postedBy("fire('unhandledrejection', {reason: {toString: function () { throw 1; }}})"), json::array());
}

TEST_F(ConsoleScript, MissingHandlerIsSwallowed) {
    eval("var saved = webkit.messageHandlers.consoleLog; delete webkit.messageHandlers.consoleLog;");
    EXPECT_EQ(postedBy("console.log('still fine'); fire('error', {message: 'm'});"), json::array());
    EXPECT_EQ(eval("pageConsoleCalls.length"), "1");
    eval("webkit.messageHandlers.consoleLog = saved;");
    EXPECT_EQ(postedBy("console.log('back')"), one("log", "back"));
}

TEST_F(ConsoleScript, ThrowingHandlerIsSwallowed) {
    eval("webkit.messageHandlers.consoleLog.postMessage = function () { throw new Error('DataCloneError'); };");
    EXPECT_EQ(eval("try { console.error('x'); 'no throw'; } catch (e) { 'threw'; }"), "no throw");
    EXPECT_EQ(eval("pageConsoleCalls.length"), "1");
}

TEST_F(ConsoleScript, ArgumentThatRefusesToBecomeTextDoesNotBreakThePageCall) {
    // Cyclic, so JSON fails, and its string conversion throws as well.
    const char* code =
        "var bad = {toString: function () { throw new Error('no'); }}; bad.self = bad;"
        "try { console.log(bad); 'no throw'; } catch (e) { 'threw'; }";
    eval("posted = []; pageConsoleCalls = [];");
    EXPECT_EQ(eval(code), "no throw");
    EXPECT_EQ(eval("posted.length"), "0");
    EXPECT_EQ(eval("pageConsoleCalls.length"), "1");
}

TEST_F(ConsoleScript, PageReplacingJsonLaterKeepsRelayWorking) {
    // The relay reaches JSON at call time; a page that breaks JSON.stringify only loses the object text.
    EXPECT_EQ(postedBy("var keep = JSON.stringify; JSON.stringify = function () { throw 1; };"
                       "console.log({a: 1}, 'x'); JSON.stringify = keep;"),
              one("log", "[object Object] x"));
}

}  // namespace
}  // namespace tamo
