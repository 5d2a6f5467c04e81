#pragma once

#include <array>
#include <cstdint>

namespace quillora {

// Colours are stored as 0x00BBGGRR, red in the low byte.
constexpr uint32_t Rgb(uint32_t red, uint32_t green, uint32_t blue) {
  return (red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16);
}

// The hex map window's 17 colour swatches as they come out of the box: terrain for an outdoor
// map, from open ground through forest, hills and water to roads and towns.
inline constexpr std::array<uint32_t, 17> kHexDesignColors = {
    Rgb(255, 255, 255),  // blank
    Rgb(204, 232, 164),  // grassland
    Rgb(126, 184, 92),   // meadow
    Rgb(46, 116, 56),    // forest
    Rgb(22, 72, 42),     // deep forest
    Rgb(168, 196, 96),   // scrub
    Rgb(230, 208, 140),  // sand
    Rgb(196, 160, 102),  // hills
    Rgb(140, 102, 64),   // mountains
    Rgb(132, 132, 128),  // rock
    Rgb(236, 242, 250),  // snow and ice
    Rgb(116, 128, 72),   // swamp
    Rgb(152, 202, 238),  // shallows
    Rgb(48, 98, 186),    // deep water
    Rgb(96, 166, 220),   // river
    Rgb(208, 176, 116),  // road
    Rgb(172, 64, 52),    // town
};

// The drawing window's 32 colour swatches: a classic paint-box of 16 deep and 16 bright colours.
inline constexpr std::array<uint32_t, 32> kDrawDesignColors = {
    // deep row
    Rgb(0, 0, 0),
    Rgb(96, 96, 96),
    Rgb(128, 0, 0),
    Rgb(128, 128, 0),
    Rgb(0, 128, 0),
    Rgb(0, 128, 128),
    Rgb(0, 0, 128),
    Rgb(128, 0, 128),
    Rgb(128, 64, 0),
    Rgb(64, 96, 32),
    Rgb(0, 64, 64),
    Rgb(0, 96, 160),
    Rgb(64, 0, 160),
    Rgb(128, 0, 64),
    Rgb(192, 96, 0),
    Rgb(48, 48, 48),
    // bright row
    Rgb(255, 255, 255),
    Rgb(192, 192, 192),
    Rgb(255, 0, 0),
    Rgb(255, 255, 0),
    Rgb(0, 255, 0),
    Rgb(0, 255, 255),
    Rgb(0, 0, 255),
    Rgb(255, 0, 255),
    Rgb(255, 200, 128),
    Rgb(255, 255, 160),
    Rgb(128, 255, 128),
    Rgb(128, 208, 255),
    Rgb(160, 160, 255),
    Rgb(255, 128, 192),
    Rgb(255, 160, 64),
    Rgb(224, 216, 200),
};

// The main window's own colours (colour slots 0..8 of the settings): dark ink on white boxes
// inside a light window.
inline constexpr uint32_t kDesignTextColor = Rgb(32, 32, 40);
inline constexpr uint32_t kDesignBoxColor = Rgb(255, 255, 255);
inline constexpr uint32_t kDesignWindowColor = Rgb(238, 236, 230);

}  // namespace quillora
