#pragma once
#include <functional>
#include <string>
#include <thread>

namespace tamo::headless {

// Reads standard input line by line on a thread of its own, handing each line to onLine and
// calling onEnd once at the end of input. stop() (or the destructor) ends the reading also while
// the input is still open, so a quit on a signal never waits for the next line to arrive.
class StdinLines {
public:
    StdinLines(std::function<void(std::string)> onLine, std::function<void()> onEnd);
    StdinLines(const StdinLines&) = delete;
    StdinLines& operator=(const StdinLines&) = delete;
    ~StdinLines();

    // Wakes the reader and joins it; onEnd is not called when the input had not ended yet.
    void stop();

private:
    void run(std::function<void(std::string)> onLine, std::function<void()> onEnd);

    int wake_[2] = {-1, -1};  // a byte written here ends the wait for input
    std::thread thread_;
};

}  // namespace tamo::headless
