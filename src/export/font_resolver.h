#pragma once
#include <map>
#include <string>
#include <tuple>

#include "export/draw_info.h"

namespace tamo {

// Turns a page font name into a font fontconfig really has. A name counts as present when it, or
// one of the names fontconfig lists as its aliases (Helvetica → Liberation Sans), is installed;
// the generic fallback that fontconfig appends to every name does not count. A missing font is
// the system sans-serif font, bold only when asked (italic is then not applied). Bold and italic
// of a present font are kept only when the family has such a variant.
class FontResolver {
public:
    ResolvedFont resolve(const std::string& family, double pixelSize, bool bold, bool italic);

    // The family used when a font is missing (e.g. "DejaVu Sans").
    static std::string systemFamily();

private:
    struct Lookup {
        bool present = false;
        std::string family;
        bool hasBold = false;
        bool hasItalic = false;
        bool hasBoldItalic = false;
    };
    const Lookup& lookup(const std::string& family);
    std::map<std::string, Lookup> cache_;  // one export can hold thousands of texts
};

}  // namespace tamo
