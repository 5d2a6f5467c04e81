#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace quillora::fuzz {

// Runs one input through a fresh server-mode program (every model and the handlers they
// register, sockets replaced by links that check the framing of all that is sent): the input
// is a sequence of arrivals, each "selector, length low, length high, bytes". Selector % 5
// picks the client side (0) or server socket 1..4; bit 0x80 resets that stream first.
void RunProtocolInput(const uint8_t* data, size_t size);
// The same on one program that lives from input to input (the fuzzer's speed): the session is
// put back before each input, the models keep what earlier inputs left; replay a finding with
// RunProtocolInput to see it on a fresh program.
void RunProtocolInputReused(const uint8_t* data, size_t size);

// The application object the models need (offscreen); created once, on first use.
void EnsureApplication();

// One arrival in that format, for writing corpus files.
QByteArray Arrival(int target, const QByteArray& bytes, bool reset_first = false);

}  // namespace quillora::fuzz
