#include "platform/json_params.h"

#include <cmath>

namespace tamo::params {
namespace {
const Json* member(const Json& map, const char* key) {
    if (!map.is_object()) return nullptr;
    auto it = map.find(key);
    return it == map.end() ? nullptr : &*it;
}
}  // namespace

std::optional<std::string> text(const Json& map, const char* key) {
    const Json* v = member(map, key);
    if (!v || !v->is_string()) return std::nullopt;
    return v->get<std::string>();
}

std::optional<std::int64_t> wholeNumber(const Json& map, const char* key) {
    const Json* v = member(map, key);
    if (!v) return std::nullopt;
    if (v->is_number_integer() && !v->is_number_unsigned()) return v->get<std::int64_t>();
    if (v->is_number_unsigned()) {
        auto u = v->get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
        return static_cast<std::int64_t>(u);
    }
    if (v->is_number_float()) {
        double d = v->get<double>();
        // 2^63 itself is out of range; every double below it converts exactly.
        if (!std::isfinite(d) || d != std::trunc(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
            return std::nullopt;
        return static_cast<std::int64_t>(d);
    }
    return std::nullopt;
}

std::optional<double> realNumber(const Json& map, const char* key) {
    const Json* v = member(map, key);
    if (!v || !v->is_number()) return std::nullopt;
    return v->get<double>();
}

std::optional<bool> boolean(const Json& map, const char* key) {
    const Json* v = member(map, key);
    if (!v || !v->is_boolean()) return std::nullopt;
    return v->get<bool>();
}

const Json* object(const Json& map, const char* key) {
    const Json* v = member(map, key);
    return v && v->is_object() ? v : nullptr;
}

const Json* array(const Json& map, const char* key) {
    const Json* v = member(map, key);
    return v && v->is_array() ? v : nullptr;
}

}  // namespace tamo::params
