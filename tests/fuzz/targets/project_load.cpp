// Project files as read from disk. Whatever loads can be saved again and loads back the same, and
// the restored pictures are only files that exist.
#include <map>

#include "fuzz_check.h"
#include "project/project_document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace project = tamo::project;
    tamo::Outcome<nlohmann::json> result = project::parseProjectText(std::string(asText(data, size)));
    if (!result) {
        FUZZ_CHECK(!result.failure().logLine.empty());
        return 0;
    }
    const nlohmann::json* document = &*result;
    FUZZ_CHECK(document->is_object());
    (void)project::storedPath(*document, "videoPath");
    (void)project::storedPath(*document, "narrationPath");
    std::map<std::string, std::filesystem::path> images;
    int added = project::restoreImagePaths(*document, images);
    FUZZ_CHECK(added == static_cast<int>(images.size()));

    nlohmann::json again = project::documentToSave(*document, std::nullopt, images);
    tamo::Outcome<std::string> written = project::serializeForFile(again);
    FUZZ_CHECK(written.ok());
    tamo::Outcome<nlohmann::json> reread = project::parseProjectText(*written);
    FUZZ_CHECK(reread.ok() && *reread == again);
    return 0;
}
