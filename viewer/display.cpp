#include "display.hpp"
