#include "object.hpp"
