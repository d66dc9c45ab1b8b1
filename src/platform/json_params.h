#pragma once
#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

// Reading page parameters by kind: a key counts only when present and of the expected kind,
// otherwise the caller's default applies. Never throws.
namespace tamo::params {

using Json = nlohmann::json;

std::optional<std::string> text(const Json& map, const char* key);
// A number that is exactly a whole number within signed 64 bits (booleans are not numbers).
std::optional<std::int64_t> wholeNumber(const Json& map, const char* key);
// Any number, as a double (booleans are not numbers).
std::optional<double> realNumber(const Json& map, const char* key);
std::optional<bool> boolean(const Json& map, const char* key);
const Json* object(const Json& map, const char* key);
const Json* array(const Json& map, const char* key);

inline std::string text(const Json& map, const char* key, std::string fallback) {
    return text(map, key).value_or(std::move(fallback));
}
inline std::int64_t wholeNumber(const Json& map, const char* key, std::int64_t fallback) {
    return wholeNumber(map, key).value_or(fallback);
}
inline double realNumber(const Json& map, const char* key, double fallback) {
    return realNumber(map, key).value_or(fallback);
}
inline bool boolean(const Json& map, const char* key, bool fallback) { return boolean(map, key).value_or(fallback); }

}  // namespace tamo::params
