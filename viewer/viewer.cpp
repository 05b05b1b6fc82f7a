#include "viewer.hpp"

#include "load.hpp"

namespace zorv {
namespace {

frame_target target_for(const viewer_settings& settings) {
  if (settings.mode == run_mode::picture_file) return frame_target::picture_file;
  return settings.smooth_lines ? frame_target::smooth_window : frame_target::plain_window;
}

// A host's window, a window of a size that -geometry chose and a picture are taken as a
// 650 x 650 window resized to them would be, unless -ns.
void follow_start_size(viewer& v) {
  if (!v.settings.rescale_on_resize) return;
  rescale_view(v.view, v.object, std::int64_t{default_window_side} * default_window_side,
               window_area(frame_geometry(v)));
}

fitting fitting_for(const viewer_settings& settings) {
  if (settings.fit) return fitting::always;
  return settings.keep_coordinates ? fitting::never : fitting::by_kind;
}

// The lines grouped by the file's colours, where the frame shows them: the one place that
// decides it, for every target.
void group_lines(viewer& v) {
  if (shows_file_colours(v.object, v.settings.line_colour_given, v.settings.depth_cueing))
    group_by_colour(v.frame.groups, v.object);
}

// The colours that the target draws the groups in: the file's, or none where the lines are not
// grouped by them.
std::span<const rgb_colour> shown_file_colours(const viewer& v) {
  if (v.frame.groups.order.empty()) return {};
  return v.object.colours;
}

void start_window(viewer& v) {
  open_display(v.window, v.settings.display_name);
  find_host_window(v.window, v.settings);
  if (v.target == frame_target::smooth_window) refuse_unless_smooth_window(v.window);
  take_window(v.window, v.settings);
  group_lines(v);
  allocate_frame_lists(v.frame, v.object.line_count, v.settings.depth_cueing);
  if (v.settings.mode == run_mode::host_window || v.settings.placement.width > 0 ||
      v.settings.placement.height > 0)
    follow_start_size(v);
  if (v.target == frame_target::smooth_window)
    prepare_smooth_window(v.smooth, v.window, v.settings, shown_file_colours(v));
  else
    prepare_plain_window(v.plain, v.window, v.settings, shown_file_colours(v));
}

void start_picture_file(viewer& v) {
  size_picture_file(v.picture, v.settings, v.view.increments);
  follow_start_size(v);
  group_lines(v);
  allocate_frame_lists(v.frame, v.object.line_count, v.settings.depth_cueing);
  open_picture_file(v.picture, v.settings, shown_file_colours(v));
}

} // namespace

void start_viewer(viewer& v, int argc, const char* const* argv) {
  identity_transform(v.object);
  set_defaults(v.settings);
  finish_parse(parse_arguments(v.settings, argc, argv));
  v.window.command_line.assign(argv, argv + argc);
  open_view(v.view, v.object, v.settings);
  load_object(v.object, v.settings.data_file, fitting_for(v.settings));
  v.target = target_for(v.settings);
  if (v.target == frame_target::picture_file)
    start_picture_file(v);
  else
    start_window(v);
  remember_start(v.view, v.object, window_area(frame_geometry(v)));
  if (reads_input(v.settings)) prepare_input(v.input, v.window.display, v.window.window);
}

const window_geometry& frame_geometry(const viewer& v) {
  return v.target == frame_target::picture_file ? v.picture.geometry : v.window.geometry;
}

void close_viewer(viewer& v) {
  switch (v.target) {
  case frame_target::plain_window:
    release_plain_window(v.plain, v.window);
    break;
  case frame_target::smooth_window:
    release_smooth_window(v.smooth, v.window);
    break;
  case frame_target::picture_file:
    release_picture(v.picture.picture);
    break;
  }
  close_window(v.window);
}

} // namespace zorv
