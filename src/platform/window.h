#pragma once
#include <string>

namespace tamo {

class Window {
public:
    virtual ~Window() = default;
    virtual void setTitle(const std::string& title) = 0;
};

}  // namespace tamo
