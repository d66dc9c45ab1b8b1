#include "export/font_resolver.h"

#include <fontconfig/fontconfig.h>

#include <memory>
#include <mutex>
#include <vector>

namespace tamo {
namespace {

struct PatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct FontSetDeleter {
    void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
struct ObjectSetDeleter {
    void operator()(FcObjectSet* s) const { FcObjectSetDestroy(s); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

void ensureInit() {
    static std::once_flag once;
    std::call_once(once, [] { FcInit(); });
}

// The family names fontconfig substitutes for name, in its order (name itself first).
std::vector<std::string> substitutedFamilies(const std::string& name) {
    std::vector<std::string> out;
    PatternPtr p(FcPatternCreate());
    if (!p) return out;
    FcPatternAddString(p.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcConfigSubstitute(nullptr, p.get(), FcMatchPattern);
    FcChar8* s = nullptr;
    for (int i = 0; FcPatternGetString(p.get(), FC_FAMILY, i, &s) == FcResultMatch; ++i)
        out.emplace_back(reinterpret_cast<const char*>(s));
    return out;
}

bool sameName(const std::string& a, const std::string& b) {
    return FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(a.c_str()),
                              reinterpret_cast<const FcChar8*>(b.c_str())) == 0;
}

// The names fontconfig treats as the same typeface: the substituted list cut where the generic
// fallback (the head of the sans-serif, serif or monospace list) begins.
std::vector<std::string> aliasesOf(const std::string& name) {
    std::vector<std::string> list = substitutedFamilies(name);
    std::vector<std::string> genericHeads;
    for (const char* generic : {"sans-serif", "serif", "monospace"}) {
        auto g = substitutedFamilies(generic);
        if (!g.empty()) genericHeads.push_back(g.front());
    }
    std::size_t end = list.size();
    for (std::size_t i = 1; i < list.size() && end == list.size(); ++i)
        for (const auto& head : genericHeads)
            if (sameName(list[i], head)) end = i;
    list.resize(end);
    if (list.empty() || !sameName(list.front(), name)) list.insert(list.begin(), name);
    return list;
}

struct Styles {
    bool any = false, bold = false, italic = false, boldItalic = false;
    std::string family;  // the installed spelling
};

Styles installedStyles(const std::string& family) {
    Styles st;
    PatternPtr p(FcPatternCreate());
    if (!p) return st;
    FcPatternAddString(p.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    std::unique_ptr<FcObjectSet, ObjectSetDeleter> os(FcObjectSetBuild(FC_FAMILY, FC_WEIGHT, FC_SLANT, nullptr));
    std::unique_ptr<FcFontSet, FontSetDeleter> set(FcFontList(nullptr, p.get(), os.get()));
    if (!set) return st;
    for (int i = 0; i < set->nfont; ++i) {
        st.any = true;
        int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
        FcPatternGetInteger(set->fonts[i], FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(set->fonts[i], FC_SLANT, 0, &slant);
        bool b = weight >= FC_WEIGHT_BOLD, it = slant != FC_SLANT_ROMAN;
        st.bold = st.bold || (b && !it);
        st.italic = st.italic || (it && !b);
        st.boldItalic = st.boldItalic || (b && it);
        FcChar8* s = nullptr;
        if (st.family.empty() && FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &s) == FcResultMatch) {
            // A font may carry several family names; keep the one asked for when it is among them.
            st.family = reinterpret_cast<const char*>(s);
            for (int k = 0; FcPatternGetString(set->fonts[i], FC_FAMILY, k, &s) == FcResultMatch; ++k)
                if (sameName(reinterpret_cast<const char*>(s), family)) st.family = reinterpret_cast<const char*>(s);
        }
    }
    return st;
}

}  // namespace

std::string FontResolver::systemFamily() {
    ensureInit();
    static const std::string family = [] {
        PatternPtr p(FcPatternCreate());
        FcPatternAddString(p.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
        FcConfigSubstitute(nullptr, p.get(), FcMatchPattern);
        FcDefaultSubstitute(p.get());
        FcResult result;
        PatternPtr match(FcFontMatch(nullptr, p.get(), &result));
        FcChar8* s = nullptr;
        if (match && FcPatternGetString(match.get(), FC_FAMILY, 0, &s) == FcResultMatch)
            return std::string(reinterpret_cast<const char*>(s));
        return std::string("sans-serif");
    }();
    return family;
}

const FontResolver::Lookup& FontResolver::lookup(const std::string& family) {
    if (auto it = cache_.find(family); it != cache_.end()) return it->second;
    ensureInit();
    Lookup l;
    if (!family.empty()) {
        for (const auto& alias : aliasesOf(family)) {
            Styles st = installedStyles(alias);
            if (!st.any) continue;
            l = {true, st.family, st.bold, st.italic, st.boldItalic};
            break;
        }
    }
    return cache_.emplace(family, std::move(l)).first->second;
}

ResolvedFont FontResolver::resolve(const std::string& family, double pixelSize, bool bold, bool italic) {
    const Lookup& l = lookup(family);
    if (!l.present) return ResolvedFont{systemFamily(), pixelSize, bold, false};
    ResolvedFont f{l.family, pixelSize, false, false};
    // Like a font manager's trait conversion: a variant that does not exist leaves the font as it is.
    if (bold && italic) {
        f.bold = f.italic = l.hasBoldItalic;
    } else if (bold) {
        f.bold = l.hasBold;
    } else if (italic) {
        f.italic = l.hasItalic;
    }
    return f;
}

}  // namespace tamo
