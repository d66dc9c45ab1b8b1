#include "headless/input_line.h"

namespace tamo::headless {

InputLine readInputLine(const std::string& line) {
    InputLine out;
    if (line.find_first_not_of(" \t\r") == std::string::npos) return out;
    auto skipped = [&out](const char* why) {
        out.kind = InputLine::Kind::Skipped;
        out.skipReason = why;
        return std::move(out);
    };
    auto value = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded()) return skipped("not JSON");
    if (!value.is_object() || value.size() != 1) return skipped("not a one-key object");
    auto member = value.begin();
    const std::string& key = member.key();
    if (key == "swift" || key == "consoleLog") {
        out.kind = key == "swift" ? InputLine::Kind::Swift : InputLine::Kind::ConsoleLog;
        out.body = std::move(member.value());
        return out;
    }
    if (key == "choose") {
        if (member->is_string())
            out.chosenPath = member->get<std::string>();
        else if (!member->is_null())
            return skipped("choose needs a path or null");
        out.kind = InputLine::Kind::Choose;
        return out;
    }
    if (key == "confirm") {
        if (!member->is_boolean()) return skipped("confirm needs true or false");
        out.confirmed = member->get<bool>();
        out.kind = InputLine::Kind::Confirm;
        return out;
    }
    if (key == "idle") {
        if (*member != true) return skipped("idle needs true");
        out.kind = InputLine::Kind::Idle;
        return out;
    }
    return skipped("unknown key");
}

}  // namespace tamo::headless
