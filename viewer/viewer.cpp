#include "viewer.hpp"

namespace zorv {

void start_viewer(viewer& v, int argc, const char* const* argv) {
  identity_transform(v.object);
  set_defaults(v.settings);
  finish_parse(parse_arguments(v.settings, argc, argv));
  increments_to_radians(v.settings);
  v.object.scale.fill(v.settings.scale);
  load_object(v.object, v.settings.data_file);
  if (v.settings.output_file.empty())
    connect_display(v);
  else
    open_picture(v);
  if (reads_input(v.settings)) prepare_input(v);
}

} // namespace zorv
