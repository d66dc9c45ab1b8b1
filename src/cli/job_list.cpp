#include "cli/job_list.h"

#include <nlohmann/json.hpp>

#include <regex>
#include <set>
#include <system_error>

#include "cli/bounded_file.h"
#include "platform/json_depth.h"
#include "platform/json_params.h"

namespace tamo::cli {
namespace {

using nlohmann::json;

// A job line is two levels deep; anything far deeper is not one, and the JSON reader's recursive
// clean-up must never meet a hostile nesting.
constexpr int kMaxLineNesting = 32;

bool blank(const std::string& line) { return line.find_first_not_of(" \t\r") == std::string::npos; }

const std::regex& placeholderName() {
    static const std::regex name("[A-Za-z0-9_.-]+");
    return name;
}

const std::regex& placeholderInText() {
    static const std::regex token("\\{\\{([A-Za-z0-9_.-]+)\\}\\}");
    return token;
}

std::filesystem::path relativeTo(const std::filesystem::path& base, const std::string& path) {
    std::filesystem::path p(path);
    return p.is_relative() ? base / p : p;
}

// Reads a text member that must be present (or may be absent when optional). Error text on a wrong kind.
bool readPath(const json& line, const char* key, const std::filesystem::path& base, std::filesystem::path& out,
              std::string& error) {
    auto it = line.find(key);
    if (it == line.end()) return true;
    if (!it->is_string() || it->get<std::string>().empty()) {
        error = std::string("\"") + key + "\" must be a non-empty text";
        return false;
    }
    out = relativeTo(base, it->get<std::string>());
    return true;
}

// Reads {"key": "text", ...}; error text when it is not such an object.
bool readTextMap(const json& line, const char* key, std::map<std::string, std::string>& out, std::string& error) {
    auto it = line.find(key);
    if (it == line.end()) return true;
    if (!it->is_object()) {
        error = std::string("\"") + key + "\" must be an object";
        return false;
    }
    for (const auto& [name, value] : it->items()) {
        if (!value.is_string()) {
            error = std::string("\"") + key + "\": \"" + name + "\" must be a text";
            return false;
        }
        out[name] = value.get<std::string>();
    }
    return true;
}

void parseLine(const std::string& text, const std::filesystem::path& base, JobLine& job) {
    if (json_depth::textTooDeep(text, kMaxLineNesting)) {
        job.error = "nested too deeply";
        return;
    }
    json line = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (line.is_discarded()) {
        job.error = "not valid JSON";
        return;
    }
    if (!line.is_object()) {
        job.error = "not a JSON object";
        return;
    }
    static const std::set<std::string> known = {"project", "params", "video",        "narration",
                                                "images",  "texts",  "placeholders", "output"};
    for (const auto& [key, value] : line.items()) {
        if (!known.count(key)) {
            job.error = "unknown key \"" + key + "\"";
            return;
        }
    }
    std::string& error = job.error;
    std::filesystem::path narration;
    if (!readPath(line, "project", base, job.project, error) || !readPath(line, "params", base, job.params, error) ||
        !readPath(line, "video", base, job.video, error) || !readPath(line, "narration", base, narration, error) ||
        !readPath(line, "output", base, job.output, error))
        return;
    if (!narration.empty()) job.narration = narration;
    if (job.output.empty()) {
        error = "\"output\" is missing";
        return;
    }
    if (job.project.empty() == job.params.empty()) {
        error = "give exactly one template: \"project\" or \"params\"";
        return;
    }
    if (!job.params.empty() && job.video.empty()) {
        error = "\"params\" needs a \"video\"";
        return;
    }

    std::map<std::string, std::string> texts, images;
    if (!readTextMap(line, "texts", texts, error) || !readTextMap(line, "placeholders", job.placeholders, error) ||
        !readTextMap(line, "images", images, error))
        return;
    for (const auto& [key, value] : texts) {
        // Overlay indices are plain decimal numbers: "0", "12".
        if (key.empty() || key.size() > 6 || key.find_first_not_of("0123456789") != std::string::npos) {
            error = "\"texts\": \"" + key + "\" is not an overlay index";
            return;
        }
        job.texts[std::stoul(key)] = value;
    }
    std::map<std::string, std::string> names;
    for (const auto& [key, value] : job.placeholders) {
        std::string name = key;
        if (name.size() > 4 && name.rfind("{{", 0) == 0 && name.compare(name.size() - 2, 2, "}}") == 0)
            name = name.substr(2, name.size() - 4);
        if (!std::regex_match(name, placeholderName())) {
            error = "\"placeholders\": \"" + key + "\" is not a placeholder name";
            return;
        }
        names[name] = value;
    }
    job.placeholders = std::move(names);
    for (const auto& [id, path] : images) {
        if (path.empty()) {
            error = "\"images\": \"" + id + "\" needs a file";
            return;
        }
        job.images[id] = relativeTo(base, path);
    }
}

bool isTextEntry(const json& entry) {
    const std::string type = params::text(entry, "type", "text");
    return type == "text" || type == "emoji";
}

}  // namespace

JobList parseJobList(const std::string& text, const std::filesystem::path& baseDir) {
    JobList list;
    std::map<std::filesystem::path, int> outputs;  // output -> line that writes it
    std::size_t start = 0;
    int lineNumber = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (blank(line)) continue;
        JobLine job;
        job.index = static_cast<int>(list.jobs.size());
        job.lineNumber = lineNumber;
        parseLine(line, baseDir, job);
        if (job.ok()) {
            // Two jobs writing one file would race each other and leave only one clip.
            auto key = std::filesystem::absolute(job.output).lexically_normal();
            auto [it, fresh] = outputs.emplace(key, lineNumber);
            if (!fresh) job.error = "same \"output\" as line " + std::to_string(it->second);
        }
        list.jobs.push_back(std::move(job));
    }
    return list;
}

JobList readJobList(const std::filesystem::path& file) {
    FileText read = readBoundedFile(file);
    if (!read.text) {
        JobList list;
        list.error = read.error;
        return list;
    }
    return parseJobList(*read.text, file.parent_path());
}

LoadedJob resolveJob(const JobLine& job) {
    RenderOptions o;
    o.project = job.project;
    o.params = job.params;
    o.video = job.video;
    o.output = job.output;
    o.narration = job.narration;
    LoadedJob loaded = loadRenderJob(o);
    if (!loaded.error.empty()) return loaded;
    json& objects = loaded.inputs.params.textObjects;

    for (const auto& [index, text] : job.texts) {
        if (index >= objects.size()) {
            loaded.error =
                "text " + std::to_string(index) + ": the template has " + std::to_string(objects.size()) + " overlays";
            return loaded;
        }
        if (!isTextEntry(objects[index])) {
            loaded.error = "text " + std::to_string(index) + ": overlay " + std::to_string(index) + " is not a text";
            return loaded;
        }
        objects[index]["text"] = text;
    }

    std::set<std::string> used;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        json& entry = objects[i];
        if (!isTextEntry(entry) || !entry.contains("text") || !entry["text"].is_string()) continue;
        std::string text = entry["text"].get<std::string>();
        std::string result;
        std::sregex_iterator it(text.begin(), text.end(), placeholderInText()), endIt;
        std::size_t copied = 0;
        for (; it != endIt; ++it) {
            const std::string name = (*it)[1].str();
            auto value = job.placeholders.find(name);
            if (value == job.placeholders.end()) {
                // A clip that shows "{{price}}" is worse than no clip.
                loaded.error =
                    "overlay " + std::to_string(i) + " keeps {{" + name + "}}: the job gives no value for it";
                return loaded;
            }
            result.append(text, copied, static_cast<std::size_t>(it->position()) - copied);
            result += value->second;
            copied = static_cast<std::size_t>(it->position() + it->length());
            used.insert(name);
        }
        if (copied == 0 && result.empty()) continue;
        result.append(text, copied, std::string::npos);
        entry["text"] = result;
    }
    for (const auto& [name, value] : job.placeholders) {
        if (!used.count(name)) {
            loaded.error = "placeholder {{" + name + "}} is in no text of the template";
            return loaded;
        }
    }

    for (const auto& [id, file] : job.images) {
        bool shown = false;
        for (const auto& entry : objects)
            shown =
                shown || (params::text(entry, "type", "text") == "image" && params::text(entry, "imageId", "") == id);
        if (!shown) {
            loaded.error = "picture \"" + id + "\": no picture overlay of the template shows it";
            return loaded;
        }
        std::error_code ec;
        if (!std::filesystem::is_regular_file(file, ec)) {
            // The export would leave a missing picture out silently; a batch must not.
            loaded.error = "picture \"" + id + "\": " + file.string() + " is not a file";
            return loaded;
        }
        loaded.inputs.images[id] = file;
    }
    return loaded;
}

std::string indexRanges(const std::vector<int>& indices) {
    std::string out;
    for (std::size_t i = 0; i < indices.size();) {
        std::size_t j = i;
        while (j + 1 < indices.size() && indices[j + 1] == indices[j] + 1) ++j;
        if (!out.empty()) out += ',';
        out += std::to_string(indices[i]);
        if (j > i) out += '-' + std::to_string(indices[j]);
        i = j + 1;
    }
    return out;
}

}  // namespace tamo::cli
