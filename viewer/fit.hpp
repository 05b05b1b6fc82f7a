// Fitting an object to the frame: moved so that the centre of its points' bounding box is the
// origin, then scaled so that its farthest point lies at distance 1, the size of cellgen's
// polytopes, which the default scale and eye distances frame whole.
#pragma once

#include "object.hpp"

namespace zorv {

// Fits the object's points in place, computing in double precision from their values and
// rounding each coordinate to single precision once. Points that all coincide are moved to the
// origin and not scaled. A coordinate that is not finite (zorv's own format reads "inf" and
// "nan") takes no part in the box or the distance, and stays as it is.
void fit_object(object_record& object);

} // namespace zorv
