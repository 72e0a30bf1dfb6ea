#pragma once

namespace quorvel {

// Whether `count` more descriptors can be opened right now. Asked before anything that starts
// a thread: Qt gives every new thread an event-loop wake-up descriptor and aborts the whole
// app when it cannot have one, so with the limit nearly reached such an operation is refused
// (and fails as itself) instead of being tried.
bool descriptorsToSpare(int count);

} // namespace quorvel
