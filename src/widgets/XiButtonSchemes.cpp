#include "widgets/XiButtonSchemes.h"

namespace zelvar {

namespace {

using ColorSet = std::array<int, 6>;

struct NeoScheme {
    ColorSet normal;
    ColorSet over;
    ColorSet down;
    int focusRect;
};

constexpr ColorSet NeoDisabled{15658734, White, 13816530, White, 8421504, 8421504};

// In TColorScheme order, csNeoDesert first. Each scheme follows the desert one's lightness
// steps in its own hue, so pressed and hovered buttons read alike whatever the scheme.
constexpr NeoScheme NeoSchemes[] = {
    {{13036799, 3653375, 40168, 12183551, 22144, 0},
     {11790335, 41968, 36562, 9820927, 22144, 0},
     {2865919, 7852799, 9099775, 30647, 28838, 0},
     4227327},
    {{16772829, 16750903, 15233792, 16768441, 11753728, 0},
     {16767155, 15758592, 13788928, 16764053, 11753728, 0},
     {16749355, 16759671, 16761738, 12017152, 10899968, 0},
     14070528},
    {{14547432, 5628299, 2344290, 12907735, 1404727, 0},
     {12514514, 2411620, 2077528, 10874819, 1404727, 0},
     {4972420, 9169841, 10284475, 1809488, 1674566, 0},
     2143885},
    {{15987699, 10197915, 7631988, 14474460, 6447714, 0},
     {14277081, 7895160, 6908265, 13290186, 6447714, 0},
     {9803157, 12303291, 12895428, 6052956, 5460819, 0},
     7039851},
    {{15263999, 3619327, 488, 12237311, 157, 0},
     {11777279, 1008, 722, 9934335, 157, 0},
     {2829823, 7829503, 9079807, 196791, 422, 0},
     4718806},
    {{15794175, 3670013, 59623, 12189439, 25700, 0},
     {11796478, 61677, 53968, 9829887, 25700, 0},
     {2883581, 7864319, 9109502, 46263, 42661, 0},
     36566},
};

// A plain scheme is its Neo sibling with a deeper flat face and greyer disabled colours.
struct PlainScheme {
    TColorScheme neo;
    int face;
};

// In TColorScheme order, csDesert first.
constexpr PlainScheme PlainSchemes[] = {
    {TColorScheme::csNeoDesert, 9821695}, {TColorScheme::csNeoGrass, 10021815},
    {TColorScheme::csNeoSky, 16769217},   {TColorScheme::csNeoSun, 11075583},
    {TColorScheme::csNeoRose, 13027071},  {TColorScheme::csNeoSilver, 14737632},
};

constexpr ColorSet PlainDisabled{14869218, 0, 14211288, 15395562, 12895428, 8421504};

ButtonColors neoColors(TColorScheme scheme)
{
    const NeoScheme &neo = NeoSchemes[static_cast<int>(scheme)];
    ButtonColors colors{};
    for (int i = 0; i < 6; ++i) {
        colors[colorIndex::Normal + i] = neo.normal[i];
        colors[colorIndex::Over + i] = neo.over[i];
        colors[colorIndex::Down + i] = neo.down[i];
        colors[colorIndex::Disabled + i] = NeoDisabled[i];
    }
    colors[colorIndex::FocusRect] = neo.focusRect;
    return colors;
}

bool isGradIndex(int index)
{
    return index < colorIndex::FocusRect && index % 6 == colorIndex::Grad;
}

} // namespace

std::optional<SchemeDefinition> schemeDefinition(TColorScheme scheme)
{
    const int n = static_cast<int>(scheme);
    const int firstPlain = static_cast<int>(TColorScheme::csDesert);
    if (scheme == TColorScheme::csCustom || n < 0 || n > static_cast<int>(TColorScheme::csCustom))
        return std::nullopt;

    SchemeDefinition definition;
    if (n < firstPlain) {
        const ButtonColors colors = neoColors(scheme);
        for (int i = 0; i < colorIndex::Count; ++i)
            definition.colors.push_back({i, colors[i]});
        definition.gradient = true;
        return definition;
    }

    const PlainScheme &plain = PlainSchemes[n - firstPlain];
    ButtonColors colors = neoColors(plain.neo);
    colors[colorIndex::Face] = plain.face;
    for (int i = 0; i < 6; ++i)
        colors[colorIndex::Disabled + i] = PlainDisabled[i];
    for (int i = 0; i < colorIndex::Count; ++i) {
        if (!isGradIndex(i))
            definition.colors.push_back({i, colors[i]});
    }
    definition.gradient = false;
    return definition;
}

ButtonColors defaultButtonColors()
{
    ButtonColors colors = neoColors(TColorScheme::csNeoDesert);
    colors[colorIndex::Over + colorIndex::Grad] = White;
    colors[colorIndex::Down + colorIndex::Grad] = White;
    colors[colorIndex::Disabled + colorIndex::Grad] = White;
    return colors;
}

const char *schemeName(TColorScheme scheme)
{
    static const char *const names[] = {
        "csNeoDesert", "csNeoSky", "csNeoGrass", "csNeoSilver", "csNeoRose", "csNeoSun", "csDesert",
        "csGrass",     "csSky",    "csSun",      "csRose",      "csSilver",  "csCustom",
    };
    const int n = static_cast<int>(scheme);
    return n >= 0 && n <= static_cast<int>(TColorScheme::csCustom) ? names[n] : "";
}

} // namespace zelvar
