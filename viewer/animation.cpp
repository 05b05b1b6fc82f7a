#include "animation.hpp"
