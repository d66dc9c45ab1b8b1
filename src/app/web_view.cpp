#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <optional>
#include <string>

#include "app/media_scheme.h"
#include "app/navigation_policy.h"
#include "app/sandbox_paths.h"
#include "app/shell.h"
#include "bridge/console_script.h"
#include "platform/log.h"

namespace tamo {
namespace {

// Addresses can be long (a data: URL holds a whole file); log lines keep a readable head.
std::string shortened(const char* uri) {
    std::string text = uri ? uri : "";
    constexpr std::size_t kMax = 300;
    if (text.size() > kMax) text = text.substr(0, kMax) + "…";
    return text;
}

// The posted value as JSON text; nothing for values JSON cannot hold (undefined, a cycle, nesting
// too deep for the engine), which the handlers would drop anyway. Both handlers take only a map,
// so anything else is dropped before paying for its text (a huge posted string costs seconds).
std::optional<std::string> postedJson(JSCValue* value) {
    if (!jsc_value_is_object(value) || jsc_value_is_array(value) || jsc_value_is_function(value)) return std::nullopt;
    char* text = jsc_value_to_json(value, 0);
    if (!text) {
        if (JSCContext* context = jsc_value_get_context(value)) jsc_context_clear_exception(context);
        return std::nullopt;
    }
    std::string json(text);
    g_free(text);
    return json;
}

void onSwiftMessage(WebKitUserContentManager*, JSCValue* value, gpointer data) {
    auto& shell = *static_cast<Shell*>(data);
    if (auto json = postedJson(value)) shell.app->editorHandler->didReceive(std::string_view(*json));
}

void onConsoleLogMessage(WebKitUserContentManager*, JSCValue* value, gpointer data) {
    auto& shell = *static_cast<Shell*>(data);
    if (auto json = postedJson(value)) shell.app->consoleLogHandler->didReceive(std::string_view(*json));
}

void onBrowserLaunched(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<char, decltype(&g_free)> uri(static_cast<char*>(data), g_free);
    GError* error = nullptr;
    if (!g_app_info_launch_default_for_uri_finish(result, &error)) {
        logLine("❌ Could not open in the browser: " + shortened(uri.get()) + ": " + (error ? error->message : "?"));
        g_clear_error(&error);
    }
}

gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer data) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
        return FALSE;  // responses: WebKit's own handling
    auto& shell = *static_cast<Shell*>(data);
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    NavigationRequest request{uri ? uri : "", webkit_navigation_action_is_user_gesture(action) != FALSE};

    NavigationVerdict verdict = decideNavigation(shell.editorPage, request);
    // The program has one window: a new one is never made, not even for the editor page.
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION && verdict == NavigationVerdict::Allow)
        verdict = NavigationVerdict::Refuse;

    switch (verdict) {
    case NavigationVerdict::Allow: webkit_policy_decision_use(decision); break;
    case NavigationVerdict::OpenInBrowser:
        webkit_policy_decision_ignore(decision);
        g_app_info_launch_default_for_uri_async(request.uri.c_str(), nullptr, nullptr, onBrowserLaunched,
                                                g_strdup(request.uri.c_str()));
        break;
    case NavigationVerdict::Refuse:
        webkit_policy_decision_ignore(decision);
        logLine("⚠️ Navigation refused: " + shortened(uri));
        break;
    }
    return TRUE;
}

gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, char* failingUri, GError* error, gpointer) {
    // Refused navigations end here too; only a real failure is worth a line.
    bool interrupted =
        g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE);
    if (!interrupted)
        logLine("❌ Page could not be loaded: " + shortened(failingUri) + ": " + (error ? error->message : "?"));
    return TRUE;  // no error page: the view stays on (or empty instead of) the editor page
}

void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer) {
    logLine(std::string("❌ The page's web process ended (") +
            (reason == WEBKIT_WEB_PROCESS_CRASHED                 ? "crashed"
             : reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT ? "out of memory"
                                                                  : "terminated") +
            ")");
}

// Must run before the first web process starts.
void openSandboxForLocalMedia() {
    WebKitWebContext* context = webkit_web_context_get_default();
    for (const auto& path : sandboxReadPaths("/", g_get_home_dir(), g_get_tmp_dir()))
        webkit_web_context_add_path_to_sandbox(context, path.c_str(), TRUE);
}

}  // namespace

WebKitWebView* createWebView(Shell& shell) {
    openSandboxForLocalMedia();
    registerMediaScheme(webkit_web_context_get_default(), shell.sharedMedia);
    // Audio and video in the page may start without a user gesture, sound included.
    WebKitWebsitePolicies* policies =
        webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr);
    WebKitWebView* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "website-policies", policies, nullptr));
    g_object_unref(policies);

    WebKitSettings* settings = webkit_web_view_get_settings(view);
    webkit_settings_set_enable_developer_extras(settings, TRUE);
    webkit_settings_set_media_playback_requires_user_gesture(settings, FALSE);
    // The page shows local files it receives in callbacks (the opened video, generated clips).
    webkit_settings_set_allow_file_access_from_file_urls(settings, TRUE);

    WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view);
    // Connected before registering, so no message can slip through unseen.
    g_signal_connect(content, "script-message-received::swift", G_CALLBACK(onSwiftMessage), &shell);
    g_signal_connect(content, "script-message-received::consoleLog", G_CALLBACK(onConsoleLogMessage), &shell);
    webkit_user_content_manager_register_script_message_handler(content, "swift", nullptr);
    webkit_user_content_manager_register_script_message_handler(content, "consoleLog", nullptr);

    std::string source(consoleScript());
    WebKitUserScript* script = webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                                      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
    webkit_user_script_unref(script);
    // Tells the page which scheme serves the local media it is handed (it maps file:// addresses).
    std::string scheme = "window.TamoMediaScheme = '" + std::string(kMediaScheme) + "';";
    WebKitUserScript* schemeScript =
        webkit_user_script_new(scheme.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, schemeScript);
    webkit_user_script_unref(schemeScript);

    g_signal_connect(view, "decide-policy", G_CALLBACK(onDecidePolicy), &shell);
    g_signal_connect(view, "load-failed", G_CALLBACK(onLoadFailed), &shell);
    g_signal_connect(view, "web-process-terminated", G_CALLBACK(onWebProcessTerminated), &shell);
    return view;
}

}  // namespace tamo
