#include "app/media_scheme.h"

#include <gio/gio.h>
#include <libsoup/soup.h>
#include <webkit/webkit.h>

#include <algorithm>
#include <string>

#include "platform/log.h"

// A stream that ends after a given number of bytes of another one: the body of a byte-range
// answer, read straight from the file without holding the span in memory.
G_BEGIN_DECLS
#define TAMO_TYPE_BOUNDED_STREAM (tamo_bounded_stream_get_type())
G_DECLARE_FINAL_TYPE(TamoBoundedStream, tamo_bounded_stream, TAMO, BOUNDED_STREAM, GFilterInputStream)
G_END_DECLS

struct _TamoBoundedStream {
    GFilterInputStream parent;
    guint64 remaining;
};

G_DEFINE_TYPE(TamoBoundedStream, tamo_bounded_stream, G_TYPE_FILTER_INPUT_STREAM)

static gssize tamo_bounded_stream_read(GInputStream* stream, void* buffer, gsize count, GCancellable* cancellable,
                                       GError** error) {
    auto* self = TAMO_BOUNDED_STREAM(stream);
    if (self->remaining == 0) return 0;
    gsize wanted = static_cast<gsize>(std::min<guint64>(count, self->remaining));
    GInputStream* base = g_filter_input_stream_get_base_stream(G_FILTER_INPUT_STREAM(stream));
    gssize got = g_input_stream_read(base, buffer, wanted, cancellable, error);
    if (got > 0) self->remaining -= static_cast<guint64>(got);
    return got;
}

static void tamo_bounded_stream_class_init(TamoBoundedStreamClass* klass) {
    G_INPUT_STREAM_CLASS(klass)->read_fn = tamo_bounded_stream_read;
}

static void tamo_bounded_stream_init(TamoBoundedStream* self) { self->remaining = 0; }

namespace tamo {
namespace {

struct SchemeState {
    std::shared_ptr<MediaAllowList> allowed;
};

void finishWithStatus(WebKitURISchemeRequest* request, const MediaAnswer& answer) {
    // An empty body with the status, so the page sees a refusal, not a network failure.
    GInputStream* empty = g_memory_input_stream_new();
    WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(empty, 0);
    webkit_uri_scheme_response_set_status(response, static_cast<guint>(answer.status), answer.reason.c_str());
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    for (const auto& [name, value] : answer.headers) soup_message_headers_append(headers, name.c_str(), value.c_str());
    webkit_uri_scheme_response_set_http_headers(response, headers);  // takes the headers
    webkit_uri_scheme_request_finish_with_response(request, response);
    g_object_unref(response);
    g_object_unref(empty);
}

void onMediaRequest(WebKitURISchemeRequest* request, gpointer data) {
    auto& state = *static_cast<SchemeState*>(data);
    const char* uri = webkit_uri_scheme_request_get_uri(request);
    SoupMessageHeaders* requestHeaders = webkit_uri_scheme_request_get_http_headers(request);
    const char* range = requestHeaders ? soup_message_headers_get_one(requestHeaders, "Range") : nullptr;

    MediaAnswer answer = answerMediaRequest(*state.allowed, uri ? uri : "", range ? range : "");
    if (answer.status == 403) logLine(std::string("⚠️ Media request refused: ") + (uri ? uri : ""));
    if (answer.status != 200 && answer.status != 206) {
        finishWithStatus(request, answer);
        return;
    }

    GFile* file = g_file_new_for_path(answer.file.c_str());
    GError* error = nullptr;
    GFileInputStream* input = g_file_read(file, nullptr, &error);
    g_object_unref(file);
    if (input && answer.offset > 0 &&
        !g_seekable_seek(G_SEEKABLE(input), static_cast<goffset>(answer.offset), G_SEEK_SET, nullptr, &error))
        g_clear_object(&input);
    if (!input) {
        // Vanished or unreadable between the check and the opening.
        g_clear_error(&error);
        finishWithStatus(request, MediaAnswer{404, "Not Found"});
        return;
    }
    auto* body = static_cast<TamoBoundedStream*>(
        g_object_new(TAMO_TYPE_BOUNDED_STREAM, "base-stream", input, "close-base-stream", TRUE, nullptr));
    body->remaining = answer.length;
    g_object_unref(input);

    WebKitURISchemeResponse* response =
        webkit_uri_scheme_response_new(G_INPUT_STREAM(body), static_cast<gint64>(answer.length));
    webkit_uri_scheme_response_set_status(response, static_cast<guint>(answer.status), answer.reason.c_str());
    webkit_uri_scheme_response_set_content_type(response, answer.contentType.c_str());
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    for (const auto& [name, value] : answer.headers) soup_message_headers_append(headers, name.c_str(), value.c_str());
    webkit_uri_scheme_response_set_http_headers(response, headers);
    webkit_uri_scheme_request_finish_with_response(request, response);
    g_object_unref(response);
    g_object_unref(body);
}

}  // namespace

void registerMediaScheme(WebKitWebContext* context, std::shared_ptr<MediaAllowList> allowed) {
    std::string scheme(kMediaScheme);
    // Local: only local pages (the editor) may load from it, never a page from the web.
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
    webkit_security_manager_register_uri_scheme_as_local(security, scheme.c_str());
    // The page reads from it with fetch() too (a file:// page is of another origin).
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, scheme.c_str());
    webkit_web_context_register_uri_scheme(context, scheme.c_str(), onMediaRequest, new SchemeState{std::move(allowed)},
                                           [](gpointer data) { delete static_cast<SchemeState*>(data); });
}

}  // namespace tamo
