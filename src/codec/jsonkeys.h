// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace vantor::codec {

// The first key that appears twice in one object of a JSON text, after its escapes are
// decoded ("a" and "\u0061" are one key). Qt's parser keeps the last of two equal keys without
// a word, so files people write are scanned for them before their values are taken. Meant
// for text that has already parsed as JSON; other text gives no answer worth trusting, but
// never a crash.
[[nodiscard]] std::optional<QString> duplicateJsonKey(QByteArrayView json);

} // namespace vantor::codec
