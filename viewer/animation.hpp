// The background process and its endless frame loop.
#pragma once

#include "display.hpp"
#include "object.hpp"
#include "settings.hpp"

namespace zorv {

void advance_angles(object_record& object, const viewer_settings& settings);

// One frame: build, follow a resize, erase, draw, advance, refresh the trigonometry.
void run_frame(display_state& state, viewer_settings& settings, object_record& object);

[[noreturn]] void run_animation(display_state& state, viewer_settings& settings,
                                object_record& object);

// Prints " Forking...", then splits: the parent prints the child's pid and ends with status 0,
// the child runs run_animation. A failed fork ends the process with status 255.
[[noreturn]] void fork_and_animate(display_state& state, viewer_settings& settings,
                                   object_record& object);

} // namespace zorv
