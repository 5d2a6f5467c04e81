#pragma once

#include <array>
#include <cstdint>

namespace quillora {

// Colours are stored as 0x00BBGGRR, red in the low byte.
constexpr uint32_t Rgb(uint32_t red, uint32_t green, uint32_t blue) {
  return (red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16);
}

// The hex map window's 17 colour swatches as they come out of the box: black, grey and white,
// then the bright colours, a pale green and three earth tones.
inline constexpr std::array<uint32_t, 17> kHexDesignColors = {
    Rgb(0x00, 0x00, 0x00), Rgb(0x00, 0x00, 0x00), Rgb(0x00, 0x00, 0x00), Rgb(0xC0, 0xC0, 0xC0),
    Rgb(0xFF, 0xFF, 0xFF), Rgb(0xFF, 0x00, 0x00), Rgb(0xFF, 0x80, 0x00), Rgb(0xFF, 0xFF, 0x00),
    Rgb(0x00, 0xFF, 0x00), Rgb(0xC0, 0xFF, 0xC0), Rgb(0x00, 0xFF, 0xFF), Rgb(0x00, 0x00, 0xFF),
    Rgb(0xFF, 0x80, 0xFF), Rgb(0xFF, 0x00, 0xFF), Rgb(0x80, 0x40, 0x40), Rgb(0xAF, 0x61, 0x61),
    Rgb(0x8A, 0xAC, 0x7D),
};

// The drawing window's 32 colour swatches as they come out of the box: two rows of a
// paint-box, deep colours first, then bright and pale ones; swatches 14, 15, 30 and 31 start
// black for the user's own colours.
inline constexpr std::array<uint32_t, 32> kDrawDesignColors = {
    Rgb(0x00, 0x00, 0x00), Rgb(0x80, 0x80, 0x80), Rgb(0xC0, 0x00, 0x00), Rgb(0xC0, 0xC0, 0x00),
    Rgb(0x00, 0xC0, 0x00), Rgb(0x00, 0xC0, 0xC0), Rgb(0x00, 0x00, 0xC0), Rgb(0xC0, 0x00, 0xC0),
    Rgb(0x80, 0x40, 0x40), Rgb(0x00, 0x80, 0x00), Rgb(0xD8, 0x8A, 0x07), Rgb(0xE6, 0xE9, 0xFF),
    Rgb(0xFD, 0xFA, 0xBB), Rgb(0xE7, 0xFD, 0xFE), Rgb(0x00, 0x00, 0x00), Rgb(0x00, 0x00, 0x00),
    Rgb(0xFF, 0xFF, 0xFF), Rgb(0xE0, 0xE0, 0xE0), Rgb(0xFF, 0x00, 0x00), Rgb(0xFF, 0xFF, 0x00),
    Rgb(0x00, 0xFF, 0x00), Rgb(0x00, 0xFF, 0xFF), Rgb(0x00, 0x00, 0xFF), Rgb(0xFF, 0x80, 0xFF),
    Rgb(0xAF, 0x61, 0x61), Rgb(0x8A, 0xAC, 0x7D), Rgb(0xFB, 0xCD, 0x82), Rgb(0xE2, 0xFE, 0xDE),
    Rgb(0xFF, 0xD6, 0xD5), Rgb(0xFC, 0xB7, 0xFF), Rgb(0x00, 0x00, 0x00), Rgb(0x00, 0x00, 0x00),
};

// The main window's own colours (colour slots 0..8 of the settings): dark ink on white boxes
// inside a light window.
inline constexpr uint32_t kDesignTextColor = Rgb(32, 32, 40);
inline constexpr uint32_t kDesignBoxColor = Rgb(255, 255, 255);
inline constexpr uint32_t kDesignWindowColor = Rgb(238, 236, 230);

// Settings files written on Windows may hold system colours: 0x80000000 plus the index of a
// display element, resolved by Windows at drawing time. We have no such colours, so they are
// turned into the classic Windows scheme's values when read.
inline constexpr std::array<uint32_t, 31> kWindowsSystemColors = {
    Rgb(200, 200, 200),  // scroll bar
    Rgb(0, 128, 128),    // desktop
    Rgb(10, 36, 106),    // active caption
    Rgb(128, 128, 128),  // inactive caption
    Rgb(212, 208, 200),  // menu
    Rgb(255, 255, 255),  // window background
    Rgb(0, 0, 0),        // window frame
    Rgb(0, 0, 0),        // menu text
    Rgb(0, 0, 0),        // window text
    Rgb(255, 255, 255),  // caption text
    Rgb(212, 208, 200),  // active border
    Rgb(212, 208, 200),  // inactive border
    Rgb(128, 128, 128),  // application workspace
    Rgb(10, 36, 106),    // highlight
    Rgb(255, 255, 255),  // highlighted text
    Rgb(212, 208, 200),  // button face
    Rgb(128, 128, 128),  // button shadow
    Rgb(128, 128, 128),  // grey text
    Rgb(0, 0, 0),        // button text
    Rgb(212, 208, 200),  // inactive caption text
    Rgb(255, 255, 255),  // button highlight
    Rgb(64, 64, 64),     // 3-D dark shadow
    Rgb(212, 208, 200),  // 3-D light
    Rgb(0, 0, 0),        // tooltip text
    Rgb(255, 255, 225),  // tooltip background
    Rgb(192, 192, 192),  // (unused)
    Rgb(0, 0, 128),      // hot-tracked item
    Rgb(166, 202, 240),  // active caption gradient
    Rgb(192, 192, 192),  // inactive caption gradient
    Rgb(49, 106, 197),   // menu highlight
    Rgb(212, 208, 200),  // menu bar
};

constexpr bool IsWindowsSystemColor(uint32_t colour) {
  return (colour & 0xFF000000u) == 0x80000000u;
}

// The plain colour for a stored value: system colours become their classic values (an unknown
// system colour index gives `unknown`); every other value is returned as it is.
constexpr uint32_t ResolveWindowsColor(uint32_t colour, uint32_t unknown) {
  if (!IsWindowsSystemColor(colour)) return colour;
  const uint32_t index = colour & 0x00FFFFFFu;
  return index < kWindowsSystemColors.size() ? kWindowsSystemColors[index] : unknown;
}

}  // namespace quillora
