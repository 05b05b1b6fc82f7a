// A running viewer: the object, the settings, the view and the frame's lists in one record, with
// the state of the one frame target that the run mode chose, and the start-up that fills it from
// the command line. The program, the tests and the benchmarks all start a viewer through
// start_viewer and draw its frames through run_frame (animation.hpp).
#pragma once

#include "geometry.hpp"
#include "input.hpp"
#include "object.hpp"
#include "picture_file.hpp"
#include "plain_window.hpp"
#include "settings.hpp"
#include "smooth_window.hpp"
#include "view.hpp"
#include "window.hpp"

namespace zorv {

// Where a frame's segments go once they are made, chosen once at start-up from the run mode and
// -aa: the window drawn by the server (XDrawSegments), the window showing the frame drawn as a
// picture (-aa), or the picture file (-o).
enum class frame_target { plain_window, smooth_window, picture_file };

struct viewer {
  object_record object;
  viewer_settings settings; // read-only after start-up
  view_record view;
  frame_lists frame;
  frame_target target;
  window_state window; // both window targets
  plain_window_state plain;
  smooth_window_state smooth;
  picture_file_state picture;
  input_state input; // -i
};

// Start-up after the banner, up to the fork: the identity transform, the settings' defaults and
// the command line (the run mode decided at its end), the view, the object file loaded, then the
// frame target: the display connected and the window taken, or with -o the picture file opened
// instead (no display is opened); with -i in a window of its own the input prepared. Every
// failure ends the process with its message and status, as the help text and a bad option do.
void start_viewer(viewer& v, int argc, const char* const* argv);

// The size the frames are made for: the window's, or the picture's.
const window_geometry& frame_geometry(const viewer& v);

// Frees what the process otherwise keeps until it ends (images, GCs) and closes the connection.
void close_viewer(viewer& v);

} // namespace zorv
