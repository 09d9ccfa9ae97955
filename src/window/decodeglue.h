#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <span>

namespace vantor::window {

struct MainControls;

using Report = std::function<void(const QString &message)>;

// Writes one answer into the window: codes 8..15 run the configuration readback (with the
// port status display of every port), codes 40..47 the port status display alone.
// group: the captured tab; portCount: the engine's port count. A block shorter than a
// snapshot is refused (reported, nothing written). Things worth telling the operator
// (a port count the list does not offer) go to report.
void decodeAnswer(MainControls &controls, std::uint8_t code, std::span<const std::uint8_t> block,
                  int group, int portCount, const Report &report);

} // namespace vantor::window
