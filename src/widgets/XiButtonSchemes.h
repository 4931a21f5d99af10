#pragma once

#include <array>
#include <optional>
#include <vector>

namespace zelvar {

// Every colour of a gradient button has an index: six per visual state, then the focus rectangle.
namespace colorIndex {
constexpr int Face = 0;
constexpr int Grad = 1;
constexpr int Dark = 2;
constexpr int Light = 3;
constexpr int Border = 4;
constexpr int Text = 5;
constexpr int Normal = 0;
constexpr int Over = 6;
constexpr int Down = 12;
constexpr int Disabled = 18;
constexpr int FocusRect = 24;
constexpr int Count = 25;
} // namespace colorIndex

// All 25 colours of a button, 0xBBGGRR, by colour index.
using ButtonColors = std::array<int, colorIndex::Count>;

constexpr int White = 16777215;

enum class TColorScheme {
    csNeoDesert,
    csNeoSky,
    csNeoGrass,
    csNeoSilver,
    csNeoRose,
    csNeoSun,
    csDesert,
    csGrass,
    csSky,
    csSun,
    csRose,
    csSilver,
    csCustom,
};

struct ColorAssignment {
    int index;
    int color;
};

// What choosing a scheme does: the colours it sets (in index order) and the gradient flag.
struct SchemeDefinition {
    std::vector<ColorAssignment> colors;
    bool gradient;
};

// csCustom sets nothing: it only records that the colours were set one by one.
std::optional<SchemeDefinition> schemeDefinition(TColorScheme scheme);

// The colours a new button starts with: csNeoDesert, with white grads for over, down and disabled.
ButtonColors defaultButtonColors();

const char *schemeName(TColorScheme scheme);

} // namespace zelvar
