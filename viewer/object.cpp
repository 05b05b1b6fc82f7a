#include "object.hpp"

namespace zorv {

void identity_transform(object_record& object) {
  for (plane_record& plane : object.planes) plane = {0.0f, 0.0f, 1.0f};
  object.scale.fill(1.0f);
  object.offset.fill(0.0f);
  clear_turn(object);
}

void clear_turn(object_record& object) {
  for (int row = 0; row < axis_count; ++row)
    for (int column = 0; column < axis_count; ++column)
      object.turn[row][column] = row == column ? 1.0f : 0.0f;
  object.turned = false;
}

} // namespace zorv
