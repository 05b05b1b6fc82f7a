// A running viewer: the object record, the settings and the display state in one record, and the
// start-up that fills them from the command line. The program, the tests and the tools all start
// a viewer through start_viewer and draw its frames through run_frame.
#pragma once

#include "display.hpp"
#include "input.hpp"
#include "object.hpp"
#include "settings.hpp"

namespace zorv {

struct viewer {
  object_record object;
  viewer_settings settings;
  display_state display;
  // -i. Zeroed even in a record made without braces, since every frame reads its pause.
  input_state input{};
};

// Start-up after the banner, up to the fork: the identity transform, the settings' defaults and
// the command line, the increments in radians, the scale copied into the object, the object
// file loaded and the display connected, or with -o the picture prepared instead (no display is
// opened), and with -i in a window of its own the input prepared. Every failure ends the process
// with its message and status, as the help text and a bad option do.
void start_viewer(viewer& v, int argc, const char* const* argv);

} // namespace zorv
