#include "platform/curl_failure.h"

#include <curl/curl.h>

namespace tamo {

TransportFailure classifyCurlFailure(int curlCode) {
    switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_COULDNT_CONNECT: return TransportFailure::cannotConnect;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return TransportFailure::nameNotResolved;
    case CURLE_OPERATION_TIMEDOUT: return TransportFailure::timedOut;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED: return TransportFailure::tlsFailure;
    // A reset connection, a broken pipe and an answer cut short read the same to a user.
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM: return TransportFailure::connectionReset;
    case CURLE_GOT_NOTHING: return TransportFailure::noAnswer;
    case CURLE_FILESIZE_EXCEEDED: return TransportFailure::tooLarge;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL: return TransportFailure::badAddress;
    case CURLE_TOO_MANY_REDIRECTS: return TransportFailure::tooManyRedirects;
    default: return TransportFailure::other;
    }
}

}  // namespace tamo
