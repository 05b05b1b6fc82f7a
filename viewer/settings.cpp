#include "settings.hpp"
