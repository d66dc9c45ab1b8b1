#pragma once

// Pictures placed on the clip.
namespace tamo::texts::picture {

// The chooser of a picture to place, and of a moved picture chosen anew.
inline constexpr const char* kChooserTitle = "Kép kiválasztása";

}  // namespace tamo::texts::picture
