// SPDX-License-Identifier: MIT
#pragma once

// The fixed texts of a port's status byte (fault code in the high nibble, mode code in the
// low nibble) and of its class byte. Each status text is a short caption and a longer hover
// text; codes without an entry of their own share "Error" / "Undefined State".

#include <QLatin1StringView>

namespace vantor::codec {

struct StatusText
{
    QLatin1StringView caption;
    QLatin1StringView hover;
    // The caption as an identifier (snake_case), for metric labels.
    QLatin1StringView id;
};

[[nodiscard]] StatusText faultText(int code);
[[nodiscard]] StatusText modeText(int code);
[[nodiscard]] QLatin1StringView classCaption(int classByte);

} // namespace vantor::codec
