// Project files as read from disk. Whatever loads can be saved again and loads back the same, and
// the restored pictures are only files that exist.
#include <map>

#include "fuzz_check.h"
#include "project/project_document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace project = tamo::project;
    project::ReadResult result = project::parseProjectText(std::string(asText(data, size)));
    const auto* document = std::get_if<nlohmann::json>(&result);
    if (!document) return 0;
    FUZZ_CHECK(document->is_object());
    (void)project::storedPath(*document, "videoPath");
    (void)project::storedPath(*document, "narrationPath");
    std::map<std::string, std::filesystem::path> images;
    int added = project::restoreImagePaths(*document, images);
    FUZZ_CHECK(added == static_cast<int>(images.size()));

    nlohmann::json again = project::documentToSave(*document, std::nullopt, images);
    project::Serialized written = project::serializeForFile(again);
    FUZZ_CHECK(written.text.has_value());
    project::ReadResult reread = project::parseProjectText(*written.text);
    const auto* back = std::get_if<nlohmann::json>(&reread);
    FUZZ_CHECK(back && *back == again);
    return 0;
}
