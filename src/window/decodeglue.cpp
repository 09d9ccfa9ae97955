#include "decodeglue.h"

namespace vantor::window {

void decodeAnswer(MainControls &, std::uint8_t, std::span<const std::uint8_t>, int, int,
                  const Report &)
{
}

} // namespace vantor::window
