#pragma once

// What every window test shares: waiting for what the toolkit does, never for a fixed time.
#include <chrono>
#include <functional>

namespace varlowe::testsupport {

// Handles every event the toolkit has waiting (and what handling them posts), without
// waiting for more to come.
void drainEvents();

// Handles events until `done` holds; false when `limit` passed first. For what the display
// server answers in its own time: a window shown, moved or resized.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace varlowe::testsupport
