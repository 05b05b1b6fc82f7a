// zorv: shows a four-dimensional wireframe object turning in an X window.
//
// The life of the process: print the banner, set up the object record and the settings, read the
// command line, load the object file, open the display and the window, then fork. The parent
// reports the child's pid and ends; the child runs the frame loop until it is killed.
#include "animation.hpp"
#include "display.hpp"
#include "fatal.hpp"
#include "object.hpp"
#include "settings.hpp"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

namespace {

// The one object record of the process; it lives until the process ends.
std::unique_ptr<zorv::object_record> allocate_object() {
  try {
    return std::make_unique<zorv::object_record>();
  } catch (const std::bad_alloc&) {
    zorv::die_of_memory();
  }
}

} // namespace

int main(int argc, char** argv) {
  // Line by line even into a pipe or a file, so that progress and errors on the two streams keep
  // their order and nothing is left in the buffer to be written twice after the fork.
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  std::printf("\nzorv v%s, by Quenlor\n", zorv::version);

  const std::unique_ptr<zorv::object_record> object = allocate_object();
  zorv::identity_transform(*object);
  zorv::viewer_settings settings;
  zorv::set_defaults(settings);
  zorv::finish_parse(zorv::parse_arguments(settings, argc, argv));
  zorv::increments_to_radians(settings);
  object->scale.fill(settings.scale);

  zorv::load_object(*object, settings.data_file);

  zorv::display_state display{};
  zorv::connect_display(display, settings, *object);
  zorv::fork_and_animate(display, settings, *object);
}
