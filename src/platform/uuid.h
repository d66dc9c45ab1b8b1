#pragma once
#include <string>

namespace tamo {

// A new random UUID in canonical upper-case 8-4-4-4-12 form.
std::string newUuidText();

}  // namespace tamo
