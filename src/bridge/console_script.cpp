#include "bridge/console_script.h"

namespace tamo {
namespace {
// Everything lives inside one function so the page sees no new globals. The page's own console
// functions still run after the relay, so the web inspector shows the same calls.
constexpr std::string_view kConsoleScript = R"JS((function () {
    function piece(arg) {
        if (arg instanceof Error) return arg.message;
        if (typeof arg === 'object') {
            try { return JSON.stringify(arg); } catch (e) { return String(arg); }
        }
        return String(arg);
    }
    function send(level, args) {
        try {
            var message = Array.prototype.map.call(args, piece).join(' ');
            window.webkit.messageHandlers.consoleLog.postMessage({ level: level, message: message });
        } catch (e) {
            // No handler, or an argument that refuses to become text: the page's own call still happens.
        }
    }
    ['log', 'warn', 'error'].forEach(function (level) {
        var original = console[level];
        console[level] = function () {
            send(level, arguments);
            return original.apply(console, arguments);
        };
    });
    window.addEventListener('error', function (event) {
        send('error', ['Uncaught: ' + event.message]);
    });
    window.addEventListener('unhandledrejection', function (event) {
        try { send('error', ['Promise: ' + String(event.reason)]); } catch (e) {}
    });
})();
)JS";
}  // namespace

std::string_view consoleScript() { return kConsoleScript; }

}  // namespace tamo
