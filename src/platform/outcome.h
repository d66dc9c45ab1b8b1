#pragma once
#include <string>
#include <utility>
#include <variant>

namespace tamo {

// Why a piece of work did not give its result.
struct Failure {
    std::string text;        // what the user reads (Hungarian), or the log's words where only the log hears
    bool cancelled = false;  // stopped on request: nobody needs to be told why
    std::string logLine;     // the line the application logs for it, where it logs one

    static Failure cancel() { return Failure{{}, true, {}}; }
};

// The one shape of "it worked, or here is why not" that the subsystems hand up: a value or a Failure.
// Outcome<> is for work whose only result is that it happened.
template <class T = std::monostate>
class Outcome {
public:
    Outcome() requires std::is_default_constructible_v<T> : state_(T{}) {}
    Outcome(T value) : state_(std::move(value)) {}
    Outcome(Failure failure) : state_(std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    bool cancelled() const { return !ok() && failure().cancelled; }

    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }

    const Failure& failure() const { return std::get<1>(state_); }
    const std::string& error() const { return failure().text; }

private:
    std::variant<T, Failure> state_;
};

inline Failure fail(std::string text) { return Failure{std::move(text), false, {}}; }

}  // namespace tamo
