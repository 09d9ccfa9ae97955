#include "encodeglue.h"

namespace vantor::window {

std::optional<QString> buildSystemBlock(MainControls &, int, protocol::SystemBlock &)
{
    return std::nullopt;
}

std::optional<QString> buildPortBlock(MainControls &, int, protocol::PortBlock &)
{
    return std::nullopt;
}

} // namespace vantor::window
