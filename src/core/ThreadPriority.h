#pragma once

namespace quillora {

// Puts the calling thread behind every other thread of the machine (`background`), or back
// among them. A background thread runs when a core would otherwise be idle and gives way the
// moment another thread wakes: for work that must be done soon but never ahead of a reply to
// someone (writing files behind a session). Returns false when the system refused.
bool SetThisThreadBackground(bool background);

}  // namespace quillora
