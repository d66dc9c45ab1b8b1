// The transcription service's answers: the first byte picks the HTTP status, the rest is the body.
// Every answer becomes exactly one script call for the page, or none when it cannot be written.
#include "bridge/speech_actions.h"
#include "fuzz_check.h"
#include "speech/transcription_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const long kStatuses[] = {200, 200, 200, 201, 400, 401, 404, 413, 429, 500, 502, 503, 0, 302, 204, 299};
    tamo::HttpResponse response;
    response.transportOk = (data[0] & 0x80) == 0;
    response.status = kStatuses[data[0] & 0x0F];
    response.errorText = response.transportOk ? "" : "Connection reset by peer";
    response.body = std::string(asText(data + 1, size - 1));
    response.contentType = "application/json";
    tamo::speech::TranscriptionAnswer answer =
        tamo::speech::transcriptionPageAnswer(tamo::speech::interpretTranscriptionAnswer(response));
    if (answer.scriptCall) {
        FUZZ_CHECK(!answer.scriptCall->empty());
        FUZZ_CHECK(answer.scriptCall->find('\n') == std::string::npos);
    }
    if (answer.logLine) FUZZ_CHECK(answer.scriptCall.has_value());
    return 0;
}
