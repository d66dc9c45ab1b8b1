#pragma once
#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/render_options.h"

namespace tamo::cli {

// One line of a job list (JSON Lines): a template plus what this clip changes in it.
//   {"project": "product.tamovid", "video": "shoe.mp4", "images": {"img_LOGO": "shoe.png"},
//    "texts": {"0": "Cipő"}, "placeholders": {"price": "19 990 Ft"}, "output": "out/shoe.mp4"}
// Paths are relative to the job list's folder; the template's own paths stay relative to it.
struct JobLine {
    int index = 0;       // 0-based among the non-blank lines: what --index and array jobs count
    int lineNumber = 0;  // 1-based line in the file
    std::string error;   // not empty: the line is bad and is not rendered

    std::filesystem::path project;  // a .tamovid template, or
    std::filesystem::path params;   // export parameters (then "video" is required)
    std::filesystem::path video;    // empty: the project's "videoPath"
    std::optional<std::filesystem::path> narration;
    std::filesystem::path output;
    std::map<std::size_t, std::string> texts;             // overlay index -> new text
    std::map<std::string, std::string> placeholders;      // name (no braces) -> value for {{name}}
    std::map<std::string, std::filesystem::path> images;  // image identifier -> picture file

    bool ok() const { return error.empty(); }
};

struct JobList {
    std::vector<JobLine> jobs;  // good and bad, in file order
    std::string error;          // the file itself could not be read
};

// Parses the job list's text; baseDir is the folder relative paths start from. Never throws.
JobList parseJobList(const std::string& text, const std::filesystem::path& baseDir);

// Reads and parses a job list file (bounded, regular files only).
JobList readJobList(const std::filesystem::path& file);

// Loads the line's template and applies its replacements. Error text when the template cannot be
// read or a replacement does not fit it (an overlay index that is not a text, a placeholder in no
// text, a text that keeps an unreplaced {{placeholder}}, a picture nobody shows or that is missing).
LoadedJob resolveJob(const JobLine& job);

// Indices as a compact list for a scheduler's array option: 0-3,5,7-8. Indices must be ascending.
std::string indexRanges(const std::vector<int>& indices);

}  // namespace tamo::cli
